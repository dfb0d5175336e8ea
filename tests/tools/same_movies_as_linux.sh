#!/usr/bin/env bash
# The Windows build's conversion, run under Wine, writes the same bytes as the
# Linux build's for each sample job: same markup reading, same composition,
# same encoders (zlib and libjpeg-turbo built for each system from the same
# versions).
#
#   same_movies_as_linux.sh SOURCE_DIR OUT_DIR LINUX_CONVERT EMULATOR... WINDOWS_CONVERT
#
# Without the Linux program the check is skipped (exit 77), unless
# TESSALY_REQUIRE_LINUX_BUILD is set, when that is a failure.
set -uo pipefail

source_dir="$1" out="$2" linux="$3"
shift 3
windows=("$@")

if [[ ! -x "$linux" ]]; then
  echo "no Linux build of tessaly-convert at $linux (build it, or set TESSALY_LINUX_BUILD_DIR)" >&2
  [[ -n "${TESSALY_REQUIRE_LINUX_BUILD:-}" ]] && exit 1
  exit 77
fi

rm -rf "$out" && mkdir -p "$out" || exit 1
base="$source_dir/data/"
failed=0
jobs=0
for job in "$source_dir"/examples/jobs/*/; do
  name="$(basename "$job")"
  jobs=$((jobs + 1))
  if ! "$linux" "$job" -o "$out/$name.linux.swf" --base "$base" >"$out/$name.linux.log" 2>&1; then
    echo "$name: the Linux conversion failed: $(cat "$out/$name.linux.log")" >&2
    failed=1
    continue
  fi
  # Wine reaches the Linux file system through drive Z:.
  if ! "${windows[@]}" "Z:$job" -o "Z:$out/$name.windows.swf" --base "Z:$base" >"$out/$name.windows.log" 2>&1; then
    echo "$name: the Windows conversion failed: $(cat "$out/$name.windows.log")" >&2
    failed=1
    continue
  fi
  if cmp -s "$out/$name.linux.swf" "$out/$name.windows.swf"; then
    echo "$name: $(stat -c %s "$out/$name.linux.swf") bytes, the same"
  else
    echo "$name: the movies differ ($(cmp "$out/$name.linux.swf" "$out/$name.windows.swf" 2>&1 | head -1))" >&2
    failed=1
  fi
done
if [[ $jobs -eq 0 ]]; then
  echo "no sample jobs under $source_dir/examples/jobs" >&2
  exit 1
fi
exit $failed
