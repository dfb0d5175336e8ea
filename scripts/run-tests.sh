#!/usr/bin/env bash
# Installs what the tests need and builds Tessaly with its tests (setup.sh
# tests), then runs every test: the unit tests and the player tests that
# render movies in Ruffle inside headless Chromium.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh" tests

echo "==> Running the tests"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 "$@"
