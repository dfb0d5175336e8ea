#!/usr/bin/env bash
# Builds Tessaly (see setup.sh), then runs every test: the unit tests and the
# player tests that render movies in Ruffle inside headless Chromium.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"

echo "==> Running the tests"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 "$@"
