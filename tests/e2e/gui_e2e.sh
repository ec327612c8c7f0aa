#!/usr/bin/env bash
# Drives a real program under a virtual X server as a person would, on a bare
# server or under the openbox window manager: checks where the window stands
# and how large it is, that End shows the default cue once the focus is in a
# field, then picks the run's settings and clicks Start with the pointer,
# covers and uncovers part of the window while the run goes on, copies the log with the
# keyboard, and checks the screenshots and the log. Every step waits for
# what it needs to see (a window mapped, a picture changed, the program
# waiting for input, the clipboard filled), with a deadline, never for a
# fixed time.
#
#   gui_e2e.sh PROGRAM IMPACTSIM SCREENSHOT_CHECK OUT_DIR WM CELL START_TOP END_TOP
#              OUTER SEED CLICKS OPTIONS CLICKS2 OPTIONS2
#
# WM is "none" or "openbox". OUTER is "left,top,width,height": the window's
# outer place on the screen, its frame's under a window manager. The program
# runs with its clock held at SEED, a time of day in milliseconds (whole
# seconds), so that its first run is `impactsim run --seed SEED OPTIONS`;
# CLICKS ("x,y x,y ..." in the client area, or "-") choose OPTIONS in the
# window. A second run follows with CLICKS2 clicked as well, and OPTIONS2.
set -euo pipefail

program="$1" impactsim="$2" check="$3" out="$4" wm="$5" cell="$6" start_top="$7" end_top="$8"
outer="$9" seed="${10}" clicks="${11}" options="${12}" clicks2="${13}" options2="${14}"

# Without any one of its tools the test cannot run: it names the missing ones
# and exits with 77, which CTest counts as skipped rather than failed.
tools=(Xvfb xdotool import compare convert xclip xwininfo xprop xmessage timeout cmp)
[ "$wm" = openbox ] && tools+=(openbox)
missing=()
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
# The clock is held by faketime's library, preloaded into the program
# directly: the faketime command would stand between, and when it is ended
# before the program it leaves its semaphore behind, so that a later one
# given the same process id cannot start.
libfaketime=""
for candidate in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib64/faketime/libfaketime.so.1 \
  /usr/lib/faketime/libfaketime.so.1 /usr/local/lib/faketime/libfaketime.so.1; do
  if [ -e "$candidate" ]; then
    libfaketime=$candidate
    break
  fi
done
[ -n "$libfaketime" ] || missing+=("libfaketime (faketime)")
if [ "${#missing[@]}" -gt 0 ]; then
  echo "skipped: tools missing: ${missing[*]}"
  exit 77
fi

name="$(basename "$program")-$wm"
mkdir -p "$out"
fail() {
  echo "$name: $*"
  # What the screen showed then.
  [ -z "${DISPLAY:-}" ] || import -window root "$out/$name-failed.png" 2>/dev/null || true
  exit 1
}
# shellcheck source=tests/e2e/waiting.sh
. "$(dirname "$0")/waiting.sh"

# A display number of its own, away from the low numbers other X servers
# on the machine take and give up: a free one from 100 on, tried in an order
# of this process's own, which Xvfb reports once it serves it. The report is
# read to the end of its line: a read that times out keeps what it has read
# so far, and on a loaded machine the number can come in parts.
display="" xvfb="" app="" manager="" cover=""
# Everything it started stops with it; the X server is waited for, so that
# its display number is free again when the next test picks one.
cleanup() {
  for pid in $cover $app $manager $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
exec {fd}<> <(:)
for try in $(seq 0 19); do
  number=$((100 + ($$ + 37 * try) % 800))
  [ -e "/tmp/.X$number-lock" ] && continue
  Xvfb ":$number" -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp -noreset \
    >"$out/$name-xvfb.log" 2>&1 &
  xvfb=$!
  got="" deadline=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$deadline" ] && alive "$xvfb"; do
    part=""
    if read -r -t 0.2 part <&"$fd"; then
      display="$got$part"
      break
    fi
    got="$got$part"
  done
  [ -n "$display" ] && break
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
done
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY=":$display"

if [ "$wm" = openbox ]; then
  openbox --sm-disable >"$out/$name-openbox.log" 2>&1 &
  manager=$!
  managing() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
  wait_for 60 "openbox did not start" managing
  # It names itself before it has finished starting; a window mapped before
  # then may never be managed, nor shown. Once it waits for events, it has.
  wait_for 60 "openbox did not finish starting" idle "$manager"
fi

# The program's clock stands still at the seed's time of day.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
clock=$(printf '2026-01-01 %02d:%02d:%02d' $((seed / 3600000)) $((seed / 60000 % 60)) \
  $((seed / 1000 % 60)))
TZ=UTC FAKETIME="$clock" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  LD_PRELOAD="$libfaketime${LD_PRELOAD:+ $LD_PRELOAD}" "$program" >"$out/$name.log" 2>&1 &
app=$!
app_pid=$app app_log="$out/$name.log"
window=""
found() {
  window=$(xdotool search --onlyvisible --name "Artificial society" 2>/dev/null | head -n 1)
  [ -n "$window" ]
}
explain() { xwininfo -root -tree | grep -i "artificial"; }
wait_for 120 "the window did not appear" found
explain() { :; }

# The window's outer place: its frame, the child of the root window that
# holds it, under a window manager; the window itself on a bare server.
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
outermost() {
  local w="$1" parent
  while parent=$(xwininfo -tree -id "$w" | awk '/Parent window id:/ { print $4 }') &&
    [ "$parent" != "$root" ]; do
    w="$parent"
  done
  echo "$w"
}
place() {
  xwininfo -id "$(outermost "$window")" | awk '
    /Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x "," y "," w "," h }'
}
seen=""
at_place() { seen=$(place) && [ "$seen" = "$outer" ]; }
explain() { echo "outer place and size $seen, not $outer"; }
wait_for 60 "the window did not come to its place" at_place
explain() { :; }
echo "outer place and size: $seen"

# Screenshots: shot FILE takes one; crop FILE BOX OUT cuts a part out;
# pixels_differ A B counts the pixels in which two pictures differ.
shot() { import -window root "$1"; }
crop() { convert "$1" -crop "$2" +repage "$3"; }
pixels_differ() {
  local differ
  differ=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
  echo "${differ%% *}"
}

# The map painted: the client area is found from its lattice of cells.
located() { shot "$out/$name-before.png" && "$check" locate "$out/$name-before.png" "$cell" \
  >"$out/$name-client.txt" 2>/dev/null; }
wait_for 60 "no map of cells on the screen" located
read -r cx cy <"$out/$name-client.txt"
echo "client area at $cx,$cy"

# changed SHOT BOX THEN: takes SHOT until the part BOX of it differs from
# the picture THEN.
changed() {
  shot "$1" && crop "$1" "$2" "$1.part.png" && [ "$(pixels_differ "$3" "$1.part.png")" != 0 ]
}

# End's cue: none while the log has the focus (it takes Enter as a new
# line), shown once the focus is in a census field (Enter presses End). The
# log has the focus once its caret shows in its top left corner.
log_corner="60x30+$((cx + 26))+$((cy + 450))"
end_box="75x24+$((cx + 600))+$((cy + end_top))"
crop "$out/$name-before.png" "$log_corner" "$out/$name-log-unfocused.png"
xdotool mousemove $((cx + 100)) $((cy + 500)) click 1
wait_for 60 "no caret in the log after a click in it" \
  changed "$out/$name-log.png" "$log_corner" "$out/$name-log-unfocused.png"
crop "$out/$name-log.png" "$end_box" "$out/$name-end-plain.png"
xdotool mousemove $((cx + 54)) $((cy + 90)) click 1
wait_for 60 "End shows no default cue with the focus in a field" \
  changed "$out/$name-field.png" "$end_box" "$out/$name-end-plain.png"
crop "$out/$name-field.png" "$end_box" "$out/$name-end-cue.png"
echo "End's default cue: $(pixels_differ "$out/$name-end-plain.png" "$out/$name-end-cue.png")" \
  "pixels change when the focus enters a field"

# One run: its settings clicked, then Start. Meanwhile a window covers part
# of the window and goes: the uncovered part is painted again during the
# run, not only after it. The log is then selected and copied with the
# pointer and the keyboard: while the run still goes on, if it does (a slow
# build's long run), and these clicks and keys must then be served as soon
# as it has ended, with nothing more given; else once the program waits for
# input again. The log so far
# must be the runner's output for the same seed and settings, byte for
# byte, down to the line break after its last line; the screenshot after
# the run shows the map and the chart.
: >"$out/$name-expected.log"
runs=0
# The cover's colour, which the program never paints.
cover_colour="#3d7a1e"
cover_pixels() {
  convert "$1" -crop "$2" +repage -fill black +opaque "$cover_colour" \
    -fill white -opaque "$cover_colour" -format "%[fx:round(mean*w*h)]" info:
}
covered() { shot "$1" && [ "$(cover_pixels "$1" "$2")" != 0 ]; }
# uncovered SHOT BOX: none of the cover left in the part BOX, and the part
# as it was in the shot before: painted again as a whole.
signature() { convert "$1" -crop "$2" +repage -format "%#" info:; }
uncovered() {
  local before=""
  [ -e "$1" ] && before=$(signature "$1" "$2")
  shot "$1" && [ "$(cover_pixels "$1" "$2")" = 0 ] && [ "$(signature "$1" "$2")" = "$before" ]
}
# The cover's outermost window: its frame under a window manager, which
# stays a moment after the cover itself has gone.
cover_window=""
cover_mapped() {
  cover_window=$(xdotool search --onlyvisible --name e2e-cover 2>/dev/null | head -n 1)
  [ -n "$cover_window" ] && cover_window=$(outermost "$cover_window")
}
cover_gone() { ! xwininfo -id "$cover_window" 2>/dev/null | grep -q IsViewable; }
# The window has the keyboard focus: given by the window manager, or on a
# bare server set directly.
focus_window() {
  if [ "$wm" = openbox ]; then
    timeout 10 xdotool windowactivate --sync "$window" 2>/dev/null
  else
    timeout 10 xdotool windowfocus --sync "$window" 2>/dev/null
  fi
}
# clipboard_has_log: the clipboard holds the log up to the end of this run.
clipboard_has_log() {
  timeout 5 xclip -o -selection clipboard >"$out/$name-run.log" 2>/dev/null || true
  [ "$(grep -c "Normal End of Job" "$out/$name-run.log")" = "$runs" ]
}
# copy_log: selects the log and copies it, once the program waits for input.
# A copy that does not arrive (the keys went elsewhere) is tried again.
copy_log() {
  local tries=0
  while :; do
    tries=$((tries + 1))
    [ "$tries" -le 20 ] || fail "run $runs: the log never reached the clipboard"
    wait_for 300 "run $runs did not end: the program is still busy" idle "$app"
    focus_window || continue
    xdotool mousemove $((cx + 100)) $((cy + 500)) click 1
    xdotool key ctrl+a ctrl+c
    local deadline=$((SECONDS + 10))
    until clipboard_has_log; do
      [ "$SECONDS" -lt "$deadline" ] || continue 2
      sleep 0.1
    done
    return 0
  done
}
# copy_log_during_run: while the run still goes on, selects the log and
# copies it; the clicks and keys are held until the run ends and must then
# be served without any later event. False if the run had already ended.
copy_log_during_run() {
  idle "$app" && return 1
  focus_window || return 1
  xdotool mousemove $((cx + 100)) $((cy + 500)) click 1
  xdotool key ctrl+a ctrl+c
  wait_for 300 "run $runs did not end: the program is still busy" idle "$app"
  wait_for 30 "run $runs: the keys given during the run were not served after it" \
    clipboard_has_log
  echo "run $runs: the clicks and keys given during the run were served after it"
}
run_once() {
  local clicks="$1" options="$2" at
  runs=$((runs + 1))
  if [ "$clicks" != - ]; then
    for at in $clicks; do
      xdotool mousemove $((cx + ${at%,*})) $((cy + ${at#*,})) click 1
    done
  fi
  xdotool mousemove $((cx + 637)) $((cy + start_top + 12)) click 1

  # It covers the title and the opening census, which stay as they are
  # from the run's start on.
  local cover_box="300x60+$((cx + 60))+$cy"
  xmessage -title e2e-cover -geometry "$cover_box" -bg "$cover_colour" -fg "$cover_colour" \
    "covering the window" 2>/dev/null &
  cover=$!
  wait_for 60 "the covering window did not appear" cover_mapped
  wait_for 60 "the covering window is not on the screen" \
    covered "$out/$name-$runs-covered.png" "$cover_box"
  kill "$cover" 2>/dev/null || true
  wait "$cover" 2>/dev/null || true
  cover=""
  wait_for 60 "the covering window did not go" cover_gone
  rm -f "$out/$name-$runs-uncovered.png"
  wait_for 120 "the uncovered part was not painted again" \
    uncovered "$out/$name-$runs-uncovered.png" "$cover_box"

  copy_log_during_run || copy_log
  [ "$(grep -c "Normal End of Job" "$out/$name-run.log")" = "$runs" ] ||
    fail "run $runs did not end with Normal End of Job"
  "$impactsim" run --seed "$seed" $options >"$out/$name-$runs-expected.log" 2>/dev/null
  cat "$out/$name-$runs-expected.log" >>"$out/$name-expected.log"
  cmp "$out/$name-expected.log" "$out/$name-run.log" ||
    fail "the log differs from the runner's: impactsim run --seed $seed $options"
  local rounds=$(($(wc -l <"$out/$name-$runs-expected.log") - 2))
  echo "run $runs ($options): $rounds rounds, the log is the runner's output"

  shot "$out/$name-$runs-after.png"
  "$check" verify "$out/$name-$runs-after.png" "$cell" "$rounds"
  local part stale chart_box="220x350+$((cx + 432))+$((cy + 88))"
  for part in "$cover_box,cover" "$chart_box,chart"; do
    crop "$out/$name-$runs-uncovered.png" "${part%,*}" "$out/$name-${part#*,}-then.png"
    crop "$out/$name-$runs-after.png" "${part%,*}" "$out/$name-${part#*,}-after.png"
  done
  stale=$(pixels_differ "$out/$name-cover-then.png" "$out/$name-cover-after.png")
  [ "$stale" = 0 ] || fail "the uncovered part was not painted again ($stale pixels differ)"
  if [ "$(pixels_differ "$out/$name-chart-then.png" "$out/$name-chart-after.png")" != 0 ]; then
    echo "the uncovered part was painted again while the run was still on"
  else
    echo "the uncovered part was painted again (the run had ended by then)"
  fi
}
run_once "$clicks" "$options"
run_once "$clicks2" "$options2"
