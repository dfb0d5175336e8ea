#!/usr/bin/env bash
# Regenerates the sample job directories in examples/jobs/ from the job
# indexes and settings in examples/sources/, the way the printer driver
# writes a job (scrambled index, page images, pictures, font files).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_BUILD_DIR:-$ROOT/build}"

for index in "$ROOT"/examples/sources/*.mml; do
  name="$(basename "$index" .mml)"
  job="$ROOT/examples/jobs/$name"
  rm -rf "$job"
  args=(--index "$index" -o "$job")
  [[ -f "${index%.mml}.settings" ]] && args+=(--settings "${index%.mml}.settings")
  "$BUILD_DIR/bin/tessaly-make-job" "${args[@]}"
  echo "==> examples/jobs/$name"
done
