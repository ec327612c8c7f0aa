# shellcheck shell=bash
# Waiting for what a test needs to see, never for a fixed time; sourced by the
# end-to-end scripts, which define fail(). The deadlines are generous: a
# loaded machine, or a sanitizer build, is slow, and a wait that runs out
# says what it waited for.

# wait_for SECONDS WHAT COMMAND...: runs COMMAND every tenth of a second
# until it succeeds; fails with "WHAT" after SECONDS, and what explain then
# prints. While the program under test is known (app_pid), its end is a
# failure at once, with its output (app_log) attached.
app_pid="" app_log=""
explain() { :; }
wait_for() {
  local seconds="$1" what="$2"
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if [ -n "$app_pid" ] && ! alive "$app_pid"; then
      fail "$what: the program exited meanwhile: $(tail -c 2000 "$app_log" 2>/dev/null)"
    fi
    [ "$SECONDS" -lt "$deadline" ] || fail "$what (waited ${seconds}s)" "$(explain 2>&1)"
    sleep 0.1
  done
}

# alive PID: the process runs (a child that has ended stays, as a zombie,
# until it is waited for).
alive() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | awk '{ print $1 }')
  [ -n "$state" ] && [ "$state" != Z ]
}

# idle PID: succeeds if the process waits for input over five looks a tenth
# of a second apart: its main thread asleep (in poll, where the kernel names
# the wait) and its CPU time standing still. A window program waits so only
# in its event loop: not while it starts, nor during a run, whose short waits
# for the display alternate with work. For wait_for.
idle() {
  local pid="$1" look state wchan time first=""
  for look in 1 2 3 4 5; do
    read -r state time < <(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null |
      awk '{ print $1, $12 + $13 }') || return 1
    wchan=$(cat "/proc/$pid/wchan" 2>/dev/null || echo 0)
    [ "$state" = S ] && [[ "$wchan" == *poll* || "$wchan" == 0 ]] || return 1
    first="${first:-$time}"
    [ "$time" = "$first" ] || return 1
    [ "$look" = 5 ] || sleep 0.1
  done
}
