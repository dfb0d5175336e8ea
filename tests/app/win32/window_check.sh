#!/usr/bin/env bash
# Tessaly.exe under Wine on a virtual display: the window titled "Tessaly"
# appears, the start-up checks say what is missing, and without a Flash
# Player (Wine has none) the window says so and closes when the message is
# answered. Reads what the window did from its trace file.
#
#   window_check.sh WINE TESSALY_EXE DATA_DIR WORK_DIR
set -euo pipefail

# Waits up to $2 seconds for the text $1 in trace $3.
wait_for() {
  local text="$1" seconds="$2" trace="$3"
  for ((i = 0; i < seconds * 4; i++)); do
    grep -qF -- "$text" "$trace" 2>/dev/null && return 0
    sleep 0.25
  done
  return 1
}

# Presses Return until the window's trace says it closed.
answer_until_closed() {
  local trace="$1" title="$2"
  for ((i = 0; i < 20; i++)); do
    local box
    box="$(xdotool search --name "^$title\$" 2>/dev/null | head -1 || true)"
    [[ -n "$box" ]] && xdotool key --window "$box" Return 2>/dev/null
    xdotool key Return 2>/dev/null || true
    wait_for "closed: " 1 "$trace" && return 0
  done
  echo "the window did not close" >&2
  return 1
}

missing_player() {
  local trace="$1"
  wait_for "window: Tessaly" 90 "$trace" || { echo "no window" >&2; return 1; }
  # The window is there under its title.
  local found=""
  for ((i = 0; i < 40; i++)); do
    found="$(xdotool search --name '^Tessaly$' 2>/dev/null | head -1 || true)"
    [[ -n "$found" ]] && break
    sleep 0.25
  done
  [[ -n "$found" ]] || { echo "xdotool finds no window titled Tessaly" >&2; return 1; }
  wait_for "message: Flash Player Not Installed: Could not create an instance" 60 "$trace" ||
    { echo "no missing-player message" >&2; return 1; }
  # Answering the message closes the window.
  answer_until_closed "$trace" "Flash Player Not Installed"
}

not_installed() {
  local trace="$1"
  wait_for "message: Tessaly Error: Tessaly is not correctly installed." 90 "$trace" ||
    { echo "no installation message" >&2; return 1; }
  answer_until_closed "$trace" "Tessaly Error"
}

unprintable_file() {
  local trace="$1"
  wait_for "message: Automatic Printing Error: Automatic printing is not defined for this file type:" 90 "$trace" ||
    { echo "no message for the unprintable file" >&2; return 1; }
  for ((i = 0; i < 20; i++)); do
    xdotool key Return 2>/dev/null || true
    sleep 0.5
    kill -0 "$2" 2>/dev/null || return 0
  done
  echo "the program did not end" >&2
  return 1
}

# A second instance placed where the first one is moves 18 pixels left and
# down; both close when their messages are answered.
second_instance() {
  local trace="$1" first="$2" second_trace="${1%-1}-2"
  wait_for "message: Flash Player Not Installed" 90 "$trace" || { echo "the first window did not start" >&2; return 1; }
  grep -q "^placed: 100,100 " "$trace" || { echo "the first window was not placed at 100,100" >&2; return 1; }
  TESSALY_TEST_TRACE="$second_trace" "$wine" "$exe" &
  local second=$!
  wait_for "message: Flash Player Not Installed" 90 "$second_trace" ||
    { echo "the second window did not start" >&2; return 1; }
  local status=0
  grep -q "^cascaded: 82,118$" "$second_trace" || { echo "the second window did not cascade to 82,118" >&2; status=1; }
  for ((i = 0; i < 20; i++)); do
    for box in $(xdotool search --name '^Flash Player Not Installed$' 2>/dev/null); do
      xdotool key --window "$box" Return 2>/dev/null || true
    done
    xdotool key Return 2>/dev/null || true
    sleep 0.5
    if ! kill -0 "$first" 2>/dev/null && ! kill -0 "$second" 2>/dev/null; then return $status; fi
  done
  echo "the windows did not close" >&2
  return 1
}

# On the virtual display: runs the program (with the arguments in
# TESSALY_CHECK_ARGS) and the check on it.
if [[ "${1:-}" == "--inside" ]]; then
  wine="$2" exe="$3" check="$4" trace="$5" wineserver="$6"
  # shellcheck disable=SC2086
  "$wine" "$exe" ${TESSALY_CHECK_ARGS:-} &
  program=$!
  status=0
  "$check" "$trace" "$program" || status=$?
  # A program that did not close is ended with its Wine server.
  if [[ $status -ne 0 ]]; then "$wineserver" -k 2>/dev/null || true; fi
  wait "$program" || true
  exit $status
fi

wine="$1"
exe="$2"
data="$3"
work="$4"

export WINEPREFIX="$work/wine-prefix"
export WINEDEBUG=-all
wineserver="$(dirname "$wine")/wineserver"
key='Software\Tessaly Window Check'
printer='HKLM\System\CurrentControlSet\Control\Print\Printers\Tessaly'

fail() {
  echo "FAILED: $*" >&2
  for f in "$work"/trace-*; do
    [[ -f "$f" ]] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  exit 1
}

mkdir -p "$work/spool"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  "$wine" wineboot -i >/dev/null 2>&1
fi
"$wineserver" -w
# The installation's values under a key of the check's own, and a printer
# named "Tessaly" on the local spooler (printing to a file).
"$wine" reg add "HKCU\\$key" /v BasePath /d "Z:$data/" /f >/dev/null
"$wine" reg add "HKCU\\$key" /v SpoolPath /d "Z:$work/spool/" /f >/dev/null
"$wine" reg add "$printer" /v Name /d Tessaly /f >/dev/null
"$wine" reg add "$printer" /v Port /d 'FILE:' /f >/dev/null
"$wine" reg add "$printer" /v 'Print Processor' /d winprint /f >/dev/null
"$wine" reg add "$printer" /v Datatype /d RAW /f >/dev/null
# The programs run on the virtual display must start the server there.
"$wineserver" -w

# Runs the program with the registry root $1 and trace $2 on a virtual
# display, checked by the function $3.
run_window() {
  local root="$1" trace="$2" check="$3"
  rm -f "$trace"
  TESSALY_REGISTRY_ROOT="$root" TESSALY_TEST_TRACE="$trace" timeout 300 \
    xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$0" --inside "$wine" "$exe" "$check" "$trace" "$wineserver"
}

run_window "$key" "$work/trace-player" missing_player || fail "missing player"
grep -q "^status:  Idle...$" "$work/trace-player" || fail "no idle status before the player"
grep -q "^commands: off$" "$work/trace-player" || fail "movie commands were not disabled"
grep -q "^player-failed: " "$work/trace-player" || fail "the player did not fail"

run_window 'Software\Tessaly Window Check Empty' "$work/trace-install" not_installed || fail "not installed"
if grep -q "^load: " "$work/trace-install"; then fail "a window without an installation loaded a movie"; fi

# Two instances over one stored placement.
for value in PrinterLastPosX:100 PrinterLastPosY:100 PrinterLastWidth:500 PrinterLastHeight:400; do
  "$wine" reg add "HKCU\\$key" /v "${value%%:*}" /t REG_DWORD /d "${value#*:}" /f >/dev/null
done
"$wineserver" -w
run_window "$key" "$work/trace-cascade-1" second_instance || fail "second instance"

# Files on the command line go to the shell's "printto" verb and no window
# shows; a type without that verb is said so.
echo "text" > "$work/notes.tessalynone"
TESSALY_CHECK_ARGS="Z:$work/notes.tessalynone" run_window "$key" "$work/trace-print" unprintable_file ||
  fail "command-line printing"
if grep -q "^window: " "$work/trace-print"; then fail "printing files showed the window"; fi

echo "window checks passed"
