#!/usr/bin/env bash
# Builds Tessaly (see setup.sh) and converts every sample page in examples/
# into a movie under out/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"

OUT_DIR="$ROOT/out"
mkdir -p "$OUT_DIR"
shopt -s nullglob
pages=("$ROOT"/examples/*.mml "$ROOT"/examples/*/*.mml)
if ((${#pages[@]} == 0)); then
  echo "No sample pages found in examples/." >&2
  exit 1
fi

status=0
for page in "${pages[@]}"; do
  name="$(basename "$page" .mml)"
  movie="$OUT_DIR/$name.swf"
  if "$BUILD_DIR/bin/tessaly-convert" --raw "$page" -o "$movie"; then
    echo "==> ${page#"$ROOT"/} -> ${movie} ($(stat -c %s "$movie") bytes)"
  else
    echo "FAILED: ${page#"$ROOT"/} could not be converted" >&2
    status=1
  fi
done
exit "$status"
