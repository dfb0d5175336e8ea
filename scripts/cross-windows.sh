#!/usr/bin/env bash
# The Windows build: fetches the pinned third-party sources when they are not
# in their cache yet (scripts/fetch-windows-deps.sh), configures and builds
# with mingw-w64 in build-windows/, and runs the test suites under Wine with
# ctest. Arguments go to ctest (e.g. -R Dictionary, --output-on-failure).
#
#   scripts/cross-windows.sh [ctest arguments...]
#
# TESSALY_WINDOWS_BUILD_DIR names another build directory, TESSALY_JOBS the
# number of parallel jobs (2). Needs what `scripts/setup.sh windows` installs.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_WINDOWS_BUILD_DIR:-$ROOT/build-windows}"
JOBS="${TESSALY_JOBS:-2}"

step() { printf '==> %s\n' "$*"; }

step "Third-party sources"
"$ROOT/scripts/fetch-windows-deps.sh"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
step "Configuring ($BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_WERROR=ON "${launcher[@]}" >/dev/null

# Wine makes its prefix on first start; that is done once here, before the
# discovery of the test cases starts test programs in parallel.
wine="$(sed -n 's/^TESSALY_WINE:FILEPATH=//p' "$BUILD_DIR/CMakeCache.txt")"
prefix="$(sed -n 's/^TESSALY_WINEPREFIX:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")"
prefix="${prefix:-$BUILD_DIR/wine-prefix}"
if [[ -z "$wine" || "$wine" == *NOTFOUND ]]; then
  echo "Wine was not found (install wine64); the tests cannot run" >&2
  exit 1
fi
if [[ ! -f "$prefix/system.reg" ]]; then
  step "Preparing the Wine prefix ($prefix)"
  WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" wineboot -i >/dev/null 2>&1
fi

step "Building"
ninja -C "$BUILD_DIR" -j"$JOBS"

step "Testing under Wine"
ctest --test-dir "$BUILD_DIR" -j"$JOBS" --output-on-failure "$@"
