#!/usr/bin/env bash
# A window program started where no display can be opened prints one line of
# its own and exits with status 1: no abort, no core dump, none of Qt's
# advice. Under QT_QPA_PLATFORM=offscreen it still opens its window.
#
#   no_display.sh PROGRAM_BINARY NAME WORK_DIR
set -euo pipefail

binary=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
name=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "no_display: $name: $*" >&2
  exit 1
}
# shellcheck source=tests/e2e/waiting.sh
. "$here/waiting.sh"

expected="$name: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset or unreachable); run it on a desktop, under xvfb-run, or use impactsim for headless runs"

# Where a core dump would land if the program aborted.
ulimit -c unlimited 2>/dev/null || true

# No display at all; an X display nobody serves; a Wayland socket that is not there.
cases=(
  "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"
  "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4711"
  "env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=no-such-wayland-socket"
)
for env_case in "${cases[@]}"; do
  status=0
  $env_case "$binary" >out.txt 2>err.txt || status=$?
  [ "$status" -eq 1 ] || fail "$env_case: exit status $status, not 1 ($(head -c 300 err.txt))"
  [ ! -s out.txt ] || fail "$env_case: wrote to stdout: $(head -c 300 out.txt)"
  [ "$(cat err.txt)" = "$expected" ] || fail "$env_case: stderr is not the one line: $(head -c 600 err.txt)"
  [ "$(wc -l <err.txt)" -eq 1 ] || fail "$env_case: more than one line on stderr"
  ! ls core* >/dev/null 2>&1 || fail "$env_case: left a core dump"
done

# The offscreen platform the tests use still opens the window: the program
# comes to wait for input in its event loop, and ends when told to.
QT_QPA_PLATFORM=offscreen "$binary" >/dev/null 2>err.txt &
pid=$!
app_pid=$pid app_log=err.txt
wait_for 120 "under QT_QPA_PLATFORM=offscreen it never came to wait for input" idle "$pid"
kill "$pid"
wait "$pid" 2>/dev/null || true
! grep -q "no display" err.txt || fail "under QT_QPA_PLATFORM=offscreen it reported no display"
echo "no_display: $name: ${#cases[@]} cases"
