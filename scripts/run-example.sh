#!/usr/bin/env bash
# Installs what building and converting need and builds Tessaly (setup.sh
# example: no browser, no Node.js), then converts the sample print jobs and
# markup pages in examples/ into movies under out/, and prints the built-in
# test document through the printer driver into out/test-document.swf (vector
# pages) and out/test-document-image.swf (page images).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh" example

OUT_DIR="$ROOT/out"
mkdir -p "$OUT_DIR"
shopt -s nullglob
status=0

# Print jobs, as the printer driver leaves them, into finished movies.
for job in "$ROOT"/examples/jobs/*/; do
  name="$(basename "$job")"
  movie="$OUT_DIR/$name.swf"
  if "$BUILD_DIR/bin/tessaly-convert" "$job" -o "$movie"; then
    echo "==> job ${job#"$ROOT"/} -> ${movie} ($(stat -c %s "$movie") bytes)"
  else
    echo "FAILED: job ${job#"$ROOT"/} could not be converted" >&2
    status=1
  fi
done

# Single markup pages, as they stand.
for page in "$ROOT"/examples/pages/*.mml; do
  name="$(basename "$page" .mml)"
  movie="$OUT_DIR/$name.swf"
  if "$BUILD_DIR/bin/tessaly-convert" --raw "$page" -o "$movie"; then
    echo "==> page ${page#"$ROOT"/} -> ${movie} ($(stat -c %s "$movie") bytes)"
  else
    echo "FAILED: page ${page#"$ROOT"/} could not be converted" >&2
    status=1
  fi
done
# The built-in test document printed through the printer driver: as vector
# pages into out/test-document.swf, and as page images into
# out/test-document-image.swf to compare with.
for mode in vector image; do
  case "$mode" in
    vector) movie="$OUT_DIR/test-document.swf" ;;
    image) movie="$OUT_DIR/test-document-image.swf" ;;
  esac
  if job="$("$BUILD_DIR/bin/tessaly-print" --test-document "--$mode" --spool "$OUT_DIR/spool" -o "$movie")"; then
    echo "==> test document printed ($mode) into ${job} -> ${movie} ($(stat -c %s "$movie") bytes)"
  else
    echo "FAILED: the test document could not be printed ($mode)" >&2
    status=1
  fi
done

# A real PDF printed through the printer driver into a movie: the main command
# of the README.
pdf="$ROOT/examples/pdf/libtasn1-manual.pdf"
movie="$OUT_DIR/libtasn1-manual.swf"
if "$BUILD_DIR/bin/tessaly-print" "$pdf" -o "$movie" >/dev/null; then
  echo "==> PDF ${pdf#"$ROOT"/} printed -> ${movie} ($(stat -c %s "$movie") bytes)"
else
  echo "FAILED: ${pdf#"$ROOT"/} could not be printed" >&2
  status=1
fi
exit "$status"
