#!/usr/bin/env bash
# README.md's Slurm job array, run on a real one-node Slurm cluster that this
# test starts for itself (munged, slurmctld and slurmd with a private key,
# socket, configuration, ports, state and logs in a temporary directory) and
# stops again whatever happens. The job script is read from README.md; only
# its seed range is made smaller. One array task is requeued while it runs,
# after it has written some rows, so that its second start continues the part
# with --resume. The parts, merged with README.md's merge command, must equal
# byte for byte the output of one process running the same sweep.
#
#   slurm_cluster_test.sh IMPACTSIM README [SEEDS]
#
# Exit status 77 (skipped) only when Slurm cannot run here at all: not root,
# Slurm or MUNGE not installed, or a daemon that will not start.
set -euo pipefail

impactsim=$(realpath "$1")
readme=$(realpath "$2")
bindir=$(dirname "$impactsim")

# The job script's seed range is replaced by this one: every array task then
# runs for several seconds, long enough to be requeued midway (500 runs; a
# sanitizer build, whose runs are several times slower, is given fewer).
test_seeds=${3:-0-999}
startup_deadline=30 # seconds for the daemons and the node to come up
array_deadline=300  # seconds for the whole array, requeue included

say() { printf 'slurm_cluster_test: %s\n' "$*" >&2; }
skip() {
  printf 'slurm_cluster_test: skipped: %s\n' "$*"
  exit 77
}

# ---- Can Slurm run here at all?
[ "$(id -u)" -eq 0 ] || skip "slurmd must run as root to start jobs (running as uid $(id -u))"
for cmd in munged mungekey slurmctld slurmd sbatch squeue scontrol scancel sinfo; do
  command -v "$cmd" >/dev/null || skip "$cmd not found (Debian packages slurm-wlm and munge)"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/impactsim-slurm.XXXXXX")
conf=$tmp/slurm.conf
work=$tmp/work
munged_pid='' ctld_pid='' slurmd_pid='' array_job=''

# Every Slurm command talks to this cluster only. SLURM_CONF is not exported
# from this shell: a process whose environment holds it was started by the
# cluster (a job, its steps, slurmstepd), which is how cleanup finds them.
sl() { SLURM_CONF=$conf "$@"; }

# Processes whose environment names this cluster's configuration.
cluster_processes() {
  local dir pid
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" != $$ ] || continue
    if tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "SLURM_CONF=$conf"; then
      echo "$pid"
    fi
  done
}

# stop_pid PID: SIGTERM, up to 10 s, then SIGKILL.
stop_pid() {
  local pid=$1 i
  kill -TERM "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  local status=$? pid i
  trap - EXIT INT TERM
  set +e
  if [ -n "$array_job" ] && alive "$ctld_pid"; then
    sl scancel "$array_job" 2>/dev/null
    for ((i = 0; i < 100; i++)); do
      [ -z "$(sl squeue -h -r 2>/dev/null)" ] && break
      sleep 0.1
    done
  fi
  for pid in $slurmd_pid $ctld_pid; do stop_pid "$pid"; done
  for pid in $(cluster_processes); do kill -TERM "$pid" 2>/dev/null; done
  sleep 0.2
  for pid in $(cluster_processes); do kill -KILL "$pid" 2>/dev/null; done
  [ -z "$munged_pid" ] || stop_pid "$munged_pid"
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

tail_file() {
  [ -s "$1" ] || return 0
  echo "---- last lines of ${1#"$tmp"/}"
  tail -n "${2:-25}" "$1"
}

alive() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }

diagnostics() {
  {
    # Slurm's commands wait up to a minute for a missing configuration.
    if alive "$ctld_pid"; then
      echo "---- squeue -r"
      timeout 10 env SLURM_CONF="$conf" squeue -r 2>&1
      echo "---- sinfo"
      timeout 10 env SLURM_CONF="$conf" sinfo 2>&1
      [ -z "$array_job" ] || {
        echo "---- scontrol show job $array_job"
        timeout 10 env SLURM_CONF="$conf" scontrol show job -o "$array_job" 2>&1
      }
    fi
    tail_file "$tmp/slurmctld.log" 40
    tail_file "$tmp/slurmctld.stderr"
    tail_file "$tmp/slurmd.log" 40
    tail_file "$tmp/slurmd.stderr"
    tail_file "$tmp/munged.stderr" 10
    local log
    for log in "$work"/*.log; do [ -e "$log" ] && tail_file "$log" 10; done
  } >&2 || true
}

fail() {
  say "$*"
  diagnostics
  exit 1
}

# ---- The job script and the merge command, as README.md gives them.
script=$(awk '
  /^```sh$/ { inside = 1; block = ""; next }
  /^```$/ {
    if (inside && block ~ /^#!\/bin\/bash\n/ && block ~ /\n#SBATCH --array/) { printf "%s", block; found = 1; exit }
    inside = 0; next
  }
  inside { block = block $0 "\n" }
  END { exit !found }' "$readme") ||
  fail "README.md has no \`\`\`sh block starting with #!/bin/bash and holding #SBATCH --array"
merge=$(grep -E '^\{ head -n 1 part0\.csv; .*\} > sweep\.csv$' "$readme") ||
  fail "README.md has no CSV merge command ({ head -n 1 part0.csv; ... } > sweep.csv)"
[ "$(printf '%s\n' "$merge" | wc -l)" -eq 1 ] || fail "README.md has more than one CSV merge command"

grep -qE -- '--seeds [0-9]+-[0-9]+' <<<"$script" || fail "the README job script has no --seeds A-B"
script=$(sed -E "s/--seeds [0-9]+-[0-9]+/--seeds $test_seeds/" <<<"$script")

# The array's task ids (A-B, lists of them; a %limit is ignored).
array=$(sed -nE 's/^#SBATCH --array=([^ ]+).*/\1/p' <<<"$script")
array=${array%%%*}
task_ids=()
IFS=, read -ra ranges <<<"$array"
for range in "${ranges[@]}"; do
  if [[ $range =~ ^([0-9]+)-([0-9]+)$ ]]; then
    for ((k = BASH_REMATCH[1]; k <= BASH_REMATCH[2]; k++)); do task_ids+=("$k"); done
  elif [[ $range =~ ^[0-9]+$ ]]; then
    task_ids+=("$range")
  else
    fail "cannot read the job script's #SBATCH --array=$array"
  fi
done
cpus_per_task=$(sed -nE 's/^#SBATCH (--cpus-per-task=|-c ?)([0-9]+).*/\2/p' <<<"$script")
cpus_per_task=${cpus_per_task:-1}

# The script's srun line, continuation lines joined, evaluated for array task
# K with a stand-in srun that keeps the arguments: impactsim sweep ARGS.
srun_line=$(awk '/^srun / { on = 1 } on { printf "%s\n", $0; if ($0 !~ /\\$/) exit }' <<<"$script")
[ -n "$srun_line" ] || fail "the README job script has no srun line"
step_args=()
# shellcheck disable=SC2034,SC2317 # the variables and srun serve the eval
step_args_of_task() {
  local SLURM_ARRAY_TASK_ID=$1 SLURM_CPUS_PER_TASK=$cpus_per_task
  srun() { step_args=("$@"); }
  eval "$srun_line"
  unset -f srun
  if [ "${step_args[0]-}" != impactsim ] || [ "${step_args[1]-}" != sweep ]; then
    fail "the README job script's srun line does not run impactsim sweep"
  fi
}
# value_of OPTION: the value after OPTION in step_args.
value_of() {
  local i
  for ((i = 2; i < ${#step_args[@]} - 1; i++)); do
    [ "${step_args[i]}" != "$1" ] || {
      echo "${step_args[i + 1]}"
      return
    }
  done
  fail "the README job script's impactsim sweep has no $1"
}
# The sweep's own options: the step's arguments without those of the shard,
# its file, its threads and its progress bar.
step_args_of_task "${task_ids[0]}"
sweep_args=()
for ((i = 2; i < ${#step_args[@]}; i++)); do
  case ${step_args[i]} in
  --shard | --out | --jobs) i=$((i + 1)) ;;
  --resume | --quiet) ;;
  *) sweep_args+=("${step_args[i]}") ;;
  esac
done

# ---- The cluster.
host=$(hostname -s)
# The node claims CPUs enough to run every array task at once, each with the
# script's --cpus-per-task: one after another, 16 tasks long enough to be
# requeued midway would take minutes. With more CPUs than the machine has,
# slurmd must be told to believe the configuration.
node_cpus=$((cpus_per_task * ${#task_ids[@]}))
overrides=''
[ "$node_cpus" -le "$(nproc)" ] || overrides='SlurmdParameters=config_overrides'

listening_ports() {
  local _ local_address _ state _
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null |
    while read -r _ local_address _ state _; do
      [ "$state" = 0A ] && echo $((16#${local_address##*:}))
    done | sort -u
}
free_port() {
  local port used
  used=$(listening_ports)
  while :; do
    port=$((20000 + RANDOM % 40000))
    grep -qx "$port" <<<"$used" || [ "$port" = "${1-}" ] || break
  done
  echo "$port"
}

write_conf() {
  local ctld_port slurmd_port
  ctld_port=$(free_port)
  slurmd_port=$(free_port "$ctld_port")
  cat >"$conf" <<EOF
ClusterName=impactsimtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$tmp/munge.socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MinJobAge=600
$overrides
NodeName=$host NodeAddr=127.0.0.1 CPUs=$node_cpus State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
}

# A daemon that has exited: why, from its logs' last fatal error, else their
# last line (Slurm's complaints that it has no PMIx library are no reason).
why_dead() {
  local logs=("$tmp/$1.log" "$tmp/$1.stderr") line
  line=$(cat "${logs[@]}" 2>/dev/null | grep -iE 'fatal' | tail -n 1) ||
    line=$(cat "${logs[@]}" 2>/dev/null | grep -vE 'pmix|MPI' | tail -n 1) || true
  echo "${line:-no message}"
}

start_munged() {
  mkdir -p "$tmp/munge"
  chmod 0700 "$tmp/munge"
  mungekey --create --keyfile="$tmp/munge/munge.key" 2>"$tmp/munged.stderr" ||
    dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1024 count=1 2>/dev/null
  chmod 0400 "$tmp/munge/munge.key"
  munged --force --foreground --socket="$tmp/munge.socket" \
    --key-file="$tmp/munge/munge.key" --pid-file="$tmp/munged.pid" \
    --log-file="$tmp/munged.log" --seed-file="$tmp/munge/munged.seed" \
    >>"$tmp/munged.stderr" 2>&1 &
  munged_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [ -S "$tmp/munge.socket" ] && return 0
    kill -0 "$munged_pid" 2>/dev/null || skip "munged would not start: $(why_dead munged)"
    sleep 0.1
  done
  skip "munged did not create its socket within 10 s: $(why_dead munged)"
}

# start_slurm: 0 when both daemons run, 1 when a port was taken meanwhile.
start_slurm() {
  rm -rf "$tmp/state" "$tmp/spool" "$tmp"/slurm*.log "$tmp"/slurm*.stderr
  mkdir -p "$tmp/state" "$tmp/spool"
  write_conf
  SLURM_CONF=$conf slurmctld -D -f "$conf" >"$tmp/slurmctld.stderr" 2>&1 &
  ctld_pid=$!
  SLURM_CONF=$conf slurmd -D -f "$conf" -N "$host" >"$tmp/slurmd.stderr" 2>&1 &
  slurmd_pid=$!
  local i daemon pid state
  for ((i = 0; i < startup_deadline * 10; i++)); do
    for daemon in slurmctld slurmd; do
      pid=$ctld_pid
      [ "$daemon" = slurmctld ] || pid=$slurmd_pid
      kill -0 "$pid" 2>/dev/null && continue
      wait "$pid" 2>/dev/null || true
      if cat "$tmp/$daemon.log" "$tmp/$daemon.stderr" 2>/dev/null | grep -q 'Address already in use'; then
        stop_pid "$ctld_pid"
        stop_pid "$slurmd_pid"
        ctld_pid='' slurmd_pid=''
        return 1
      fi
      skip "$daemon would not start: $(why_dead "$daemon")"
    done
    state=$(sl sinfo -h -n "$host" -o %t 2>/dev/null || true)
    [ "$state" = idle ] && return 0
    sleep 0.1
  done
  fail "the node did not become idle within $startup_deadline s (state '${state:-unknown}')"
}

start=$SECONDS
start_munged
for attempt in 1 2 3; do
  start_slurm && break
  [ "$attempt" -lt 3 ] || fail "no free ports for slurmctld and slurmd after 3 tries"
done
say "cluster up in $((SECONDS - start)) s: $host, $node_cpus CPUs, ${#task_ids[@]} array tasks"

# ---- The job array.
mkdir -p "$work"
cd "$work"
printf '%s\n' "$script" >sweep.sbatch
array_job=$(PATH="$bindir:$PATH" sl sbatch --parsable sweep.sbatch) || fail "sbatch refused the job script"
array_job=${array_job%%;*}
array_start=$SECONDS
deadline=$((SECONDS + array_deadline))

# Fails at once when a daemon has gone.
check_daemons() {
  alive "$ctld_pid" || fail "slurmctld exited: $(why_dead slurmctld)"
  alive "$slurmd_pid" || fail "slurmd exited: $(why_dead slurmd)"
  alive "$munged_pid" || fail "munged exited: $(why_dead munged)"
}

# Rows in a part (lines ending in a newline, without the header).
rows_of() { if [ -f "$1" ]; then echo $(($(wc -l <"$1") - 1)); else echo 0; fi; }
task_state() { sl squeue -h -j "${array_job}_$1" -o '%T %r' 2>/dev/null || true; }

# Requeue the first running task that has written a row and not its last.
requeued='' part='' shard_rows=0
while [ -z "$requeued" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no array task was seen running with rows written"
  check_daemons
  running=$(sl squeue -h -r -j "$array_job" -t RUNNING -o %K 2>/dev/null || true)
  [ -n "$running" ] || [ -n "$(sl squeue -h -r -j "$array_job" 2>/dev/null)" ] ||
    fail "every array task finished before one could be requeued"
  for k in $running; do
    step_args_of_task "$k"
    part=$(value_of --out)
    shard_rows=$("$impactsim" sweep "${sweep_args[@]}" \
      --shard "$(value_of --shard)" --list | tail -n +2 | wc -l)
    rows=$(rows_of "$part")
    if [ "$rows" -ge 1 ] && [ "$rows" -lt "$shard_rows" ]; then
      sl scontrol requeue "${array_job}_$k" || fail "scontrol requeue ${array_job}_$k failed"
      requeued=$k
      break
    fi
  done
  [ -n "$requeued" ] || sleep 0.1
done

# Once it is back in the queue, it runs again at once: Slurm delays a requeued
# job's start by the credential lifetime (two minutes), or may hold it.
while :; do
  [ "$SECONDS" -lt "$deadline" ] || fail "task $requeued did not come back to the queue"
  check_daemons
  read -r state reason <<<"$(task_state "$requeued")" || true
  case $state in
  PENDING | REQUEUE_HOLD | REQUEUED | SPECIAL_EXIT) break ;;
  esac
  sleep 0.1
done
rows_at_requeue=$(rows_of "$part")
[ "$rows_at_requeue" -lt "$shard_rows" ] ||
  fail "task $requeued finished its $shard_rows rows before the requeue stopped it"
case "$state/$reason" in
REQUEUE_HOLD/* | */JobHeld*) sl scontrol release "${array_job}_$requeued" ;;
*) sl scontrol update JobId="${array_job}_$requeued" StartTime=now ;;
esac || fail "could not make the requeued task $requeued eligible again"
say "task $requeued requeued with $rows_at_requeue of its $shard_rows rows written"

while [ -n "$(sl squeue -h -r 2>/dev/null || echo unreachable)" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the array did not finish within $array_deadline s"
  check_daemons
  sleep 0.2
done
say "array finished in $((SECONDS - array_start)) s"

# Every task completed with status 0; the requeued one started twice.
states=$(sl scontrol show job -o "$array_job") || fail "scontrol show job $array_job failed"
[ "$(grep -c 'ArrayTaskId=' <<<"$states")" -eq "${#task_ids[@]}" ] ||
  fail "scontrol shows $(grep -c 'ArrayTaskId=' <<<"$states") array tasks, not ${#task_ids[@]}"
bad=$(grep -vE ' JobState=COMPLETED .* ExitCode=0:0( |$)' <<<"$states" || true)
[ -z "$bad" ] || fail "array tasks that did not complete with status 0: $bad"
restarts=$(grep -E " ArrayTaskId=$requeued " <<<"$states" | sed -nE 's/.* Restarts=([0-9]+) .*/\1/p')
[ "${restarts:-0}" -ge 1 ] || fail "task $requeued shows Restarts=${restarts:-none}; it was not requeued"

# ---- The merged parts against one process.
bash -c "$merge" || fail "README.md's merge command failed: $merge"
"$impactsim" sweep "${sweep_args[@]}" --jobs "$(nproc)" --quiet >whole.csv ||
  fail "the single-process sweep failed"
[ "$(wc -l <whole.csv)" -gt 1 ] || fail "the single-process sweep wrote no rows"
cmp whole.csv sweep.csv ||
  fail "the merged parts differ from one process running impactsim sweep ${sweep_args[*]}"
say "merged parts equal one process ($(($(wc -l <whole.csv) - 1)) rows); $((SECONDS - start)) s in all"
