#!/usr/bin/env bash
# Runs one player test file with node's test runner, after checking that
# Node.js, the harness's npm packages and a browser of a version the harness
# is pinned to are there.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if ! command -v node >/dev/null 2>&1; then
  echo "node is not installed: run scripts/run-tests.sh (as root) to install it." >&2
  exit 1
fi
node_major="$(node -p 'process.versions.node.split(".")[0]')"
if ((node_major < 18)); then
  echo "Node.js $(node --version) found; the player tests need Node.js 18 or newer." >&2
  exit 1
fi
if [[ ! -d "$here/node_modules/@ruffle-rs/ruffle" || ! -d "$here/node_modules/playwright-core" ]]; then
  echo "tests/player/node_modules is missing: run scripts/run-tests.sh (as root) to install the player test packages." >&2
  exit 1
fi
chromium="${TESSALY_CHROMIUM:-/usr/bin/chromium}"
if [[ ! -x "$chromium" ]]; then
  echo "$chromium is not installed: run scripts/run-tests.sh (as root) to install it." >&2
  exit 1
fi
(cd "$here" && node --input-type=module -e "
import { checkChromium } from './lib/browser.mjs';
try { checkChromium(); } catch (err) { console.error(err.message); process.exit(1); }")
exec node --test "$@"
