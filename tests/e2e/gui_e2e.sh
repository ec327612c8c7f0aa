#!/usr/bin/env bash
# Drives a real program under a virtual X server as a person would: waits for
# its window, clicks Start with the pointer, copies the log with the keyboard
# once the run has ended, and checks a screenshot of the result.
#   gui_e2e.sh PROGRAM_BINARY CELL_SIZE START_TOP SCREENSHOT_CHECK OUT_DIR
set -euo pipefail

# Without any one of its tools the test cannot run: it names the missing ones
# and exits with 77, which CTest counts as skipped rather than failed.
missing=()
for tool in Xvfb xdotool import xclip timeout seq basename mkdir sleep head grep wc; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "skipped: tools missing: ${missing[*]}"
  exit 77
fi

program="$1" cell="$2" start_top="$3" check="$4" out="$5"
mkdir -p "$out"
name="$(basename "$program")"

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >"$out/$name-xvfb.log" 2>&1 &
xvfb=$!
read -r -t 20 display <&"$fd" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$display"
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

"$program" >"$out/$name.log" 2>&1 &
app=$!
xdotool search --sync --name "Artificial society" >/dev/null
sleep 1
import -window root "$out/$name-before.png"
read -r cx cy < <("$check" locate "$out/$name-before.png" "$cell")
echo "client area at $cx,$cy"

# Start, then select and copy the log: keys given during a run are served
# once it has ended, so the clipboard then holds the whole log.
xdotool mousemove $((cx + 637)) $((cy + start_top + 12)) click 1
xdotool mousemove $((cx + 100)) $((cy + 500)) click 1
xdotool key ctrl+a ctrl+c

log=""
for _ in $(seq 1 120); do
  log="$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)"
  case "$log" in *"Normal End of Job"*) break ;; esac
  sleep 1
done
printf '%s\n' "$log" >"$out/$name-run.log"
case "$log" in
  *"Normal End of Job"*) echo "log: $(printf '%s\n' "$log" | wc -l) lines, ends with Normal End of Job" ;;
  *) echo "the run did not end with Normal End of Job"; exit 1 ;;
esac
head -n 1 <<<"$log" | grep -qx "0 : " || { echo "the log does not start with '0 : '"; exit 1; }

import -window root "$out/$name-after.png"
"$check" verify "$out/$name-after.png" "$cell"
