#!/usr/bin/env bash
# Prepares a Debian 12 machine (run as root) for building and testing Tessaly:
# system packages, the player harness's npm packages, then a configured and
# built tree in build/. Safe to run again: every step is skipped when its work
# is already done. Prints one line per step; a failing step prints its log.
set -euo pipefail

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

# Debian packages the build, the unit tests, the sanitizer and fuzz builds
# and the player tests need.
PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev libcairo2-dev libpng-dev
  pkg-config python3 python3-cairo python3-pil imagemagick nodejs npm chromium fonts-liberation fonts-liberation2 fonts-dejavu-core fonts-urw-base35
)

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

node_major="$(node -p 'process.versions.node.split(".")[0]')"
if ((node_major < 20)); then
  echo "Node.js $(node --version) found; the player tests need Node.js 20 or newer." >&2
  exit 1
fi

# npm packages of the player harness. They are reinstalled when node_modules is
# missing or older than the lock file (npm ci records the lock it installed).
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

step "Configuring ($BUILD_DIR)"
run "cmake configure" cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_WERROR=ON

step "Building"
run "ninja build" ninja -C "$BUILD_DIR"

step "Setup done"
