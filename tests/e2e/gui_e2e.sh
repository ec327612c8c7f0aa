#!/usr/bin/env bash
# Drives a real program under a virtual X server as a person would, on a bare
# server or under the openbox window manager: checks where the window stands
# and how large it is, that End shows the default cue once the focus is in a
# field, then picks the run's settings and clicks Start with the pointer,
# covers and uncovers part of the window while the run goes on, copies the log with the
# keyboard, and checks the screenshots and the log.
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
tools=(Xvfb xdotool import compare convert xclip xwininfo xprop xmessage faketime timeout cmp)
[ "$wm" = openbox ] && tools+=(openbox)
missing=()
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "skipped: tools missing: ${missing[*]}"
  exit 77
fi

name="$(basename "$program")-$wm"
mkdir -p "$out"
fail() {
  echo "$name: $*"
  exit 1
}

# A display number of its own, away from the low numbers other X servers
# on the machine take and give up: a free one from 100 on, tried in an order
# of this process's own, which Xvfb reports once it serves it.
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
  for _ in $(seq 1 100); do
    read -r -t 0.2 display <&"$fd" && break
    kill -0 "$xvfb" 2>/dev/null || break
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
  for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.2
  done
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" || fail "openbox did not start"
fi

# The program's clock stands still at the seed's time of day.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
clock=$(printf '2026-01-01 %02d:%02d:%02d' $((seed / 3600000)) $((seed / 60000 % 60)) \
  $((seed / 1000 % 60)))
TZ=UTC FAKETIME_DONT_FAKE_MONOTONIC=1 faketime -f "$clock" "$program" >"$out/$name.log" 2>&1 &
app=$!
window=$(xdotool search --sync --name "Artificial society" | head -n 1)

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
for _ in $(seq 1 50); do
  seen=$(place)
  [ "$seen" = "$outer" ] && break
  sleep 0.2
done
[ "$seen" = "$outer" ] || fail "outer place and size $seen, not $outer"
echo "outer place and size: $seen"
sleep 0.5

import -window root "$out/$name-before.png"
read -r cx cy < <("$check" locate "$out/$name-before.png" "$cell")
echo "client area at $cx,$cy"

# End's cue: none while the log has the focus (it takes Enter as a new
# line), shown once the focus is in a census field (Enter presses End).
end_box="75x24+$((cx + 600))+$((cy + end_top))"
xdotool mousemove $((cx + 100)) $((cy + 500)) click 1
sleep 0.5
import -window root "$out/$name-log.png"
convert "$out/$name-log.png" -crop "$end_box" +repage "$out/$name-end-plain.png"
xdotool mousemove $((cx + 54)) $((cy + 90)) click 1
sleep 0.5
import -window root "$out/$name-field.png"
convert "$out/$name-field.png" -crop "$end_box" +repage "$out/$name-end-cue.png"
differ=$(compare -metric AE "$out/$name-end-plain.png" "$out/$name-end-cue.png" null: 2>&1 || true)
[ "${differ%% *}" != 0 ] || fail "End shows no default cue with the focus in a field"
echo "End's default cue: $differ pixels change when the focus enters a field"

# One run: its settings clicked, then Start; the log is selected and copied
# at once: keys given during a run are served once it has ended, so the
# clipboard then holds the whole log. Meanwhile a window covers part of the
# window and goes: the uncovered part is painted again during the run, not
# only after it. The log so far must be the runner's output for the same
# seed and settings, byte for byte, down to the line break after its last
# line; the screenshot after the run shows the map and the chart.
: >"$out/$name-expected.log"
runs=0
run_once() {
  local clicks="$1" options="$2" at
  runs=$((runs + 1))
  if [ "$clicks" != - ]; then
    for at in $clicks; do
      xdotool mousemove $((cx + ${at%,*})) $((cy + ${at#*,})) click 1
    done
  fi
  xdotool mousemove $((cx + 637)) $((cy + start_top + 12)) click 1
  xdotool mousemove $((cx + 100)) $((cy + 500)) click 1
  xdotool key ctrl+a ctrl+c

  # It covers the title and the opening census, which stay as they are
  # from the run's start on.
  local cover_box="300x60+$((cx + 60))+$cy"
  xmessage -title e2e-cover -geometry "$cover_box" "covering the window" 2>/dev/null &
  cover=$!
  timeout 10 xdotool search --sync --name e2e-cover >/dev/null || true
  kill "$cover" 2>/dev/null || true
  wait "$cover" 2>/dev/null || true
  cover=""
  sleep 0.1
  import -window root "$out/$name-$runs-uncovered.png"

  for _ in $(seq 1 120); do
    timeout 5 xclip -o -selection clipboard >"$out/$name-run.log" 2>/dev/null || true
    [ "$(grep -c "Normal End of Job" "$out/$name-run.log")" = "$runs" ] && break
    sleep 1
  done
  [ "$(grep -c "Normal End of Job" "$out/$name-run.log")" = "$runs" ] ||
    fail "run $runs did not end with Normal End of Job"
  "$impactsim" run --seed "$seed" $options >"$out/$name-$runs-expected.log" 2>/dev/null
  cat "$out/$name-$runs-expected.log" >>"$out/$name-expected.log"
  cmp "$out/$name-expected.log" "$out/$name-run.log" ||
    fail "the log differs from the runner's: impactsim run --seed $seed $options"
  local rounds=$(($(wc -l <"$out/$name-$runs-expected.log") - 2))
  echo "run $runs ($options): $rounds rounds, the log is the runner's output"

  import -window root "$out/$name-$runs-after.png"
  "$check" verify "$out/$name-$runs-after.png" "$cell" "$rounds"
  local crop stale chart_box="220x350+$((cx + 432))+$((cy + 88))" changed
  for crop in "$cover_box,cover" "$chart_box,chart"; do
    convert "$out/$name-$runs-uncovered.png" -crop "${crop%,*}" +repage "$out/$name-${crop#*,}-then.png"
    convert "$out/$name-$runs-after.png" -crop "${crop%,*}" +repage "$out/$name-${crop#*,}-after.png"
  done
  stale=$(compare -metric AE "$out/$name-cover-then.png" "$out/$name-cover-after.png" null: 2>&1 ||
    true)
  [ "${stale%% *}" = 0 ] || fail "the uncovered part was not painted again ($stale pixels differ)"
  changed=$(compare -metric AE "$out/$name-chart-then.png" "$out/$name-chart-after.png" null: \
    2>&1 || true)
  if [ "${changed%% *}" != 0 ]; then
    echo "the uncovered part was painted again while the run was still on"
  else
    echo "the uncovered part was painted again (the run had ended by then)"
  fi
}
run_once "$clicks" "$options"
run_once "$clicks2" "$options2"
