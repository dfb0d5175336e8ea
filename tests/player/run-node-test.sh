#!/usr/bin/env bash
# Runs one player test file with node's test runner, after checking that the
# harness's npm packages and the browser are there.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if ! command -v node >/dev/null 2>&1; then
  echo "node is not installed: run scripts/setup.sh (as root) first." >&2
  exit 1
fi
if [[ ! -d "$here/node_modules/@ruffle-rs/ruffle" || ! -d "$here/node_modules/playwright-core" ]]; then
  echo "tests/player/node_modules is missing: run scripts/setup.sh (as root) to install the player test packages." >&2
  exit 1
fi
chromium="${TESSALY_CHROMIUM:-/usr/bin/chromium}"
if [[ ! -x "$chromium" ]]; then
  echo "$chromium is not installed: run scripts/setup.sh (as root) to install it." >&2
  exit 1
fi
exec node --test "$@"
