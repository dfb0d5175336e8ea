#!/usr/bin/env bash
# Prepares a Debian 12 machine (run as root) for Tessaly. Safe to run again:
# every step is skipped when its work is already done. Prints one line per
# step; a failing step prints its log.
#
#   setup.sh example   what building and converting need: the compiler, the
#                      libraries, the fonts of the samples; a build in build/
#   setup.sh tests     that, plus what every test needs: GoogleTest, Google
#                      Benchmark, libpng, Python with cairo and Pillow, Debian's
#                      Node.js and npm, Chromium, more fonts, dpkg-dev (the
#                      Debian package, scripts/make-package.sh); the player
#                      harness's npm packages; a build with tests (the default)
#   setup.sh ci        that, plus clang for the sanitizer and fuzz builds
#   setup.sh windows   what the Windows build needs: mingw-w64, Wine, zlib for
#                      the target, GoogleTest's sources; the pinned
#                      third-party sources fetched into their cache
#                      (scripts/fetch-windows-deps.sh); no build (that is
#                      scripts/cross-windows.sh)
#
# Only packages a clean Debian 12 (bookworm, bookworm-updates,
# bookworm-security) offers are used, at whatever version it has; the one
# exception is the npm packages of the player harness, pinned in
# tests/player/package-lock.json together with the Chromium versions they are
# known to work with (tests/player/README.md).
set -euo pipefail

LEVEL="${1:-tests}"
case "$LEVEL" in
  example|tests|ci|windows) ;;
  *) echo "usage: setup.sh [example|tests|ci|windows]" >&2; exit 2 ;;
esac

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_BUILD_DIR:-$ROOT/build}"
LOG_DIR="$(mktemp -d)"
trap 'rm -rf "$LOG_DIR"' EXIT

step() { printf '==> %s\n' "$*"; }

# run LABEL CMD...: runs CMD with its output in a log, shown only on failure.
run() {
  local label="$1"; shift
  local log="$LOG_DIR/$(printf '%s' "$label" | tr -c 'A-Za-z0-9' '_').log"
  if ! "$@" >"$log" 2>&1; then
    printf 'FAILED: %s\n--- output ---\n' "$label" >&2
    tail -n 200 "$log" >&2
    exit 1
  fi
}

# Debian packages for building and converting the samples. No browser and no
# Node.js: converting needs neither.
if [[ "$LEVEL" == windows ]]; then
  # The cross compiler (its POSIX-threads flavour), Wine to run the tests,
  # zlib built for the target, GoogleTest's sources (libgtest-dev brings
  # /usr/src/googletest) and curl for the third-party sources; a virtual
  # display and xdotool for the check of Tessaly.exe's window.
  PACKAGES=(
    cmake ninja-build ccache curl ca-certificates
    g++-mingw-w64-x86-64-posix wine64 libz-mingw-w64-dev libgtest-dev libgmock-dev
    xvfb xauth xdotool
  )
else
PACKAGES=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev
  libpixman-1-dev libcairo2-dev libpoppler-private-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libcups2-dev
  fonts-liberation fonts-liberation2 fonts-dejavu-core
)
fi
# What the unit tests, the benchmarks and the player tests need besides.
if [[ "$LEVEL" != example && "$LEVEL" != windows ]]; then
  PACKAGES+=(
    libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
    python3 python3-cairo python3-pil imagemagick fonts-urw-base35 fonts-dejavu-extra fonts-wqy-microhei locales poppler-utils
    nodejs npm chromium xvfb xauth xdotool
    cups-daemon cups-client cups-bsd cups-filters dpkg-dev file
  )
fi
# The sanitizer and fuzz builds of .ci/run are made with clang.
if [[ "$LEVEL" == ci ]]; then
  PACKAGES+=(clang libclang-rt-14-dev)
fi

# A package counts as present when dpkg has it installed. node and npm may come
# from another packaging of Node.js (npm is bundled there, and Debian's npm
# package would conflict with it), so for those the command is what counts.
is_present() {
  case "$1" in
    nodejs) command -v node >/dev/null 2>&1 ;;
    npm) command -v npm >/dev/null 2>&1 ;;
    *) dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' ;;
  esac
}

missing=()
for p in "${PACKAGES[@]}"; do
  is_present "$p" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing Debian packages: ${missing[*]}; run this script as root to install them." >&2
    exit 1
  fi
  step "Installing Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  run "apt-get update" apt-get update -q
  run "apt-get install" apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  step "Debian packages: all present"
fi

if [[ "$LEVEL" == windows ]]; then
  step "Third-party sources of the Windows build"
  run "fetch-windows-deps" "$ROOT/scripts/fetch-windows-deps.sh"
  step "Setup done (build with scripts/cross-windows.sh)"
  exit 0
fi

if [[ "$LEVEL" != example ]]; then
  node_major="$(node -p 'process.versions.node.split(".")[0]')"
  if ((node_major < 18)); then
    echo "Node.js $(node --version) found; the player tests need Node.js 18 or newer (Debian 12 has 18)." >&2
    exit 1
  fi

  # npm packages of the player harness. They are reinstalled when node_modules
  # is missing or older than the lock file (npm ci records the lock it
  # installed).
  PLAYER_DIR="$ROOT/tests/player"
  installed_lock="$PLAYER_DIR/node_modules/.package-lock.json"
  if [[ ! -d "$PLAYER_DIR/node_modules" || ! -f "$installed_lock" \
        || "$PLAYER_DIR/package-lock.json" -nt "$installed_lock" \
        || "$PLAYER_DIR/package.json" -nt "$installed_lock" ]]; then
    step "Installing the player test packages (npm ci in tests/player)"
    run "npm ci" npm --prefix "$PLAYER_DIR" ci --no-audit --no-fund --loglevel=error
  else
    step "Player test packages: up to date"
  fi
fi

# The example needs only the libraries and tools: a new build directory made
# for it leaves the tests and benchmarks out. The tests switch them on, and an
# existing build directory keeps what it has.
config=()
if [[ "$LEVEL" != example ]]; then
  config=(-DTESSALY_TESTS=ON -DTESSALY_BENCH=ON)
elif [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
  config=(-DTESSALY_TESTS=OFF -DTESSALY_BENCH=OFF)
fi

step "Configuring ($BUILD_DIR)"
run "cmake configure" cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_WERROR=ON "${config[@]}"

step "Building"
run "ninja build" ninja -C "$BUILD_DIR"

step "Setup done"
