#!/usr/bin/env bash
# Fetches the third-party sources of the Windows build (cmake/windows-sources.txt)
# into the cache directory, checking each against its pinned SHA-256. Files
# already there with the right checksum are kept; nothing is fetched at build
# time.
#
#   scripts/fetch-windows-deps.sh [cache-dir]
#
# The cache is cache-dir, else TESSALY_THIRD_PARTY_CACHE, else
# ~/.cache/tessaly/third-party (the default of the CMake option of the same
# name).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="${1:-${TESSALY_THIRD_PARTY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaly/third-party}}"
mkdir -p "$CACHE"

# The pins are plain NAME=value lines; read them without running the file.
declare -A pin
while IFS='=' read -r key value; do
  [[ "$key" =~ ^[A-Z0-9_]+$ ]] && pin[$key]="$value"
done < "$ROOT/cmake/windows-sources.txt"

fetch() {
  local name="$1" url="${pin[${1}_URL]}" sum="${pin[${1}_SHA256]}" file="${pin[${1}_FILE]}"
  local target="$CACHE/$file"
  if [[ -f "$target" ]] && echo "$sum  $target" | sha256sum --quiet -c - 2>/dev/null; then
    echo "==> $file: present"
    return
  fi
  echo "==> Fetching $file"
  local part="$target.part"
  rm -f "$part"
  curl -sSfL --retry 3 -o "$part" "$url"
  if ! echo "$sum  $part" | sha256sum --quiet -c - 2>/dev/null; then
    echo "$file: checksum mismatch (expected $sum, got $(sha256sum "$part" | cut -d' ' -f1))" >&2
    rm -f "$part"
    exit 1
  fi
  mv "$part" "$target"
}

fetch LIBJPEG_TURBO
fetch LIBPNG
echo "==> Cache: $CACHE"
