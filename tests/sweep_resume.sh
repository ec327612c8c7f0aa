#!/usr/bin/env bash
# A sweep killed with SIGKILL while it writes --out, its last line then cut in
# half as a write cut short would leave it, continued with --resume, must give
# the file of an uninterrupted sweep: no row lost, none twice. Its
# description says the killed session never finished, and after the resume
# records both sessions and the digest; verify finds the cut line and then
# agrees with the resumed file.
#
#   sweep_resume.sh IMPACTSIM WORK_DIR
set -euo pipefail

impactsim=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "sweep_resume: $*" >&2
  exit 1
}

# 200 kestane runs of a few milliseconds each, one at a time.
args=(sweep --program kestane --initial-dist 0.4,0.1 --seeds 1000-1099 --jobs 1 --quiet)
lines_of() { if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi; }

"$impactsim" "${args[@]}" --out whole.csv
total=$(lines_of whole.csv)
[ "$total" -eq 201 ] || fail "whole.csv has $total lines, not 201"

"$impactsim" "${args[@]}" --out killed.csv &
pid=$!
for _ in $(seq 1 2000); do
  [ "$(lines_of killed.csv)" -ge 21 ] && break
  sleep 0.005
done
kill -KILL "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ "$status" -eq 137 ] || fail "the sweep was not killed midway (exit status $status)"
written=$(lines_of killed.csv)
[ "$written" -ge 21 ] && [ "$written" -lt "$total" ] ||
  fail "killed with $written of $total lines written; expected a partial file"

# Cut the last complete line in half.
last=$(tail -n 1 killed.csv | wc -c)
truncate -s "-$((last / 2))" killed.csv
[ "$(tail -c 1 killed.csv | od -An -c | tr -d ' ')" != '\n' ] || fail "the cut left a whole line"

meta=killed.csv.meta.json
grep -q '"finished": null' "$meta" || fail "the killed session's description has a finish"
grep -q '"status": "running"' "$meta" || fail "the killed session is not recorded as running"
! grep -q '"rows_sha256"' "$meta" || fail "an unfinished sweep's description has a digest"
status=0
"$impactsim" verify killed.csv >verify.out || status=$?
[ "$status" -eq 1 ] || fail "verify of the cut file exited $status, not 1"
grep -q '^line [0-9]*: unfinished' verify.out || fail "verify did not report the cut line"

"$impactsim" "${args[@]}" --out killed.csv --resume
cmp whole.csv killed.csv || fail "the resumed file differs from the uninterrupted sweep"
[ "$(grep -c '"status": ' "$meta")" -eq 2 ] || fail "the description does not hold two sessions"
grep -q '"status": "complete"' "$meta" || fail "the resumed session is not recorded as complete"
sha=$(sha256sum killed.csv | cut -d' ' -f1)
grep -q "\"rows_sha256\": \"$sha\"" "$meta" || fail "the description's digest is not the file's"
"$impactsim" verify killed.csv --jobs 2 >verify.out || fail "verify of the resumed file: $(cat verify.out)"

# The same with a series: killed while both files grow, the series then
# ahead of the rows by part of a task, resumed to both files of an
# uninterrupted sweep.
"$impactsim" "${args[@]}" --out whole2.csv --series whole2.series
"$impactsim" "${args[@]}" --out cut.csv --series cut.series &
pid=$!
for _ in $(seq 1 2000); do
  [ "$(lines_of cut.csv)" -ge 21 ] && break
  sleep 0.005
done
kill -KILL "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ "$status" -eq 137 ] || fail "the sweep with a series was not killed midway (exit status $status)"
written=$(lines_of cut.csv)
[ "$written" -lt "$total" ] || fail "the sweep with a series finished before it was killed"
# The series is a prefix of the whole one; 40 bytes more of it stand for
# rounds whose row never came, the last line torn.
cmp -s cut.series <(head -c "$(stat -c %s cut.series)" whole2.series) ||
  fail "the killed series is not a prefix of the uninterrupted one"
head -c "$(($(stat -c %s cut.series) + 40))" whole2.series | tail -c 40 >>cut.series
"$impactsim" "${args[@]}" --out cut.csv --series cut.series --resume
cmp whole2.csv cut.csv || fail "the resumed rows differ from the uninterrupted sweep's"
cmp whole2.series cut.series || fail "the resumed series differs from the uninterrupted sweep's"
cmp whole.csv whole2.csv || fail "a series changed the rows"

# A write that fails midway, as on a full disk: no file may grow past 40 KiB
# (SIGXFSZ ignored, so the write fails with EFBIG instead). The sweep stops
# with status 1 and a message; --resume then completes both files.
status=0
(
  trap '' XFSZ
  ulimit -f 40
  exec "$impactsim" "${args[@]}" --out full.csv --series full.series
) 2>full.err || status=$?
[ "$status" -eq 1 ] || fail "a failed write gave exit status $status, not 1"
grep -Eq '^impactsim: --(out|series): writing .* failed: ' full.err ||
  fail "a failed write was not reported: $(cat full.err)"
[ "$(stat -c %s full.series)" -le 40960 ] && [ "$(stat -c %s full.csv)" -le 40960 ] ||
  fail "a file grew past the limit"
"$impactsim" "${args[@]}" --out full.csv --series full.series --resume
cmp whole2.csv full.csv || fail "rows resumed after a failed write differ"
cmp whole2.series full.series || fail "the series resumed after a failed write differs"
