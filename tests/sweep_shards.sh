#!/usr/bin/env bash
# A sweep spread over two shards run by GNU parallel, merged as the README
# shows, must equal the same sweep run by one process; in CSV and JSON lines.
#
#   sweep_shards.sh IMPACTSIM WORK_DIR
set -euo pipefail

impactsim=$1
work=$2
if ! command -v parallel >/dev/null; then
  echo "GNU parallel is not installed" >&2
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "sweep_shards: $*" >&2
  exit 1
}

args=(sweep --program halvorn,kestane --rounds 3 --initial-dist 0.4,0.1 --seeds 10-14 --quiet)

"$impactsim" "${args[@]}" --out whole.csv
parallel --will-cite "$impactsim" "${args[@]}" --jobs 1 --shard {}/2 --out part{}.csv ::: 0 1
{
  head -n 1 part0.csv
  tail -q -n +2 part*.csv | sort -t, -k1,1n
} >merged.csv
[ "$(wc -l <whole.csv)" -eq 21 ] || fail "whole.csv has $(wc -l <whole.csv) lines, not 21"
[ "$(wc -l <part0.csv)" -eq 11 ] || fail "part0.csv has $(wc -l <part0.csv) lines, not 11"
cmp whole.csv merged.csv || fail "the merged shards differ from the single sweep (CSV)"

"$impactsim" "${args[@]}" --format jsonl --out whole.jsonl
parallel --will-cite "$impactsim" "${args[@]}" --format jsonl --shard {}/2 --out part{}.jsonl \
  ::: 0 1
cat part*.jsonl | sort -t: -k2,2n >merged.jsonl
cmp whole.jsonl merged.jsonl || fail "the merged shards differ from the single sweep (JSON lines)"
