#!/usr/bin/env bash
# Runs the scale-out recipes for real and checks each against one sequential
# `jx4 convert -j 1` of the same inputs: the same .jx4 files holding the same
# products (scripts/same_jx4.py), and the same exit status.
#
#   scripts/scale_out_test.sh [parallel] [slurm]     (both when none is named)
#
# The inputs are test archives made here from the shared Level III files and
# the bundled sample: plain, compress, gzip and bzip2 tars, a folder, loose
# product files, an archive repeating every product, and one archive cut short
# (so every run must exit 1, and the Slurm gather must name one failed task).
# The Slurm part starts a one-node cluster on this machine (munged, slurmctld,
# slurmd, all as root, on their own ports, socket and state folder), submits
# examples/slurm/convert-array.sh as an 8-task array with `sbatch --wait`, and
# stops the daemons again, also on failure. JX4 names the program (default:
# build/jx4); NIMBREL_TESTDATA the shared test data folder; KEEP=1 keeps the
# work folder (inputs, outputs, reports, daemon logs) for a look afterwards.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export JX4=${JX4:-$root/build/jx4}
unset SLICES JOBS INPUTS_PER_JOB  # the recipes read them
level3=${NIMBREL_TESTDATA:-$root/../shared/testdata}/level3
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(parallel slurm)

work=$(mktemp -d /tmp/nimbrel-scale.XXXXXX)
chmod 711 "$work"  # munged wants its socket's folders searchable by all
daemons=()
cleanup() {
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# expect STATUS COMMAND...: run COMMAND, fail unless it exits with STATUS.
expect() {
  local want=$1 got=0
  shift
  "$@" || got=$?
  [ "$got" -eq "$want" ] || fail "'$*' exited $got, expected $want"
}

make_inputs() {
  local in=$work/inputs files i
  mkdir -p "$in/folder"
  mapfile -t files < <(cd "$level3" && ls)
  [ ${#files[@]} -ge 60 ] || fail "too few Level III test files in $level3"
  # Six groups of the shared files, each stored a different way.
  local group=$(((${#files[@]} + 5) / 6))
  local -a g
  for i in 0 1 2 3 4 5; do
    g=("${files[@]:i*group:group}")
    case $i in
      0) tar -C "$level3" -cf "$in/group0.tar" "${g[@]}" ;;
      1) tar -C "$level3" -cf - "${g[@]}" | compress -f -c > "$in/group1.tar.Z" ;;
      2) tar -C "$level3" -czf "$in/group2.tar.gz" "${g[@]}" ;;
      3) tar -C "$level3" -cjf "$in/group3.tar.bz2" "${g[@]}" ;;
      4) (cd "$level3" && cp "${g[@]}" "$in/folder/") ;;
      5) (cd "$level3" && cp "${g[@]}" "$in/") ;;  # loose product files
    esac
  done
  tar -C "$level3" -czf "$in/everything.tar.gz" "${files[@]}"
  head -c $(($(stat -c %s "$in/group0.tar") / 2)) "$in/group0.tar" > "$in/cut-short.tar"
  cp "$root/examples/sample.tar" "$root/examples/sample.tar.Z" "$in/"
  gzip -c "$root/examples/sample.tar" > "$in/sample.tar.gz"
  (cd "$in" && ls -d "$PWD"/*) > "$work/inputs.txt"
  echo "$(wc -l < "$work/inputs.txt") inputs"
}

# check NAME FOLDER: FOLDER must hold what the sequential run made.
check() {
  python3 "$root/scripts/same_jx4.py" "$work/sequential" "$2" || fail "$1 made other files"
  echo "$1: OK"
}

sequential() {
  mapfile -t inputs < "$work/inputs.txt"
  expect 1 "$JX4" convert -q -j 1 -o "$work/sequential" --report "$work/sequential.jsonl" "${inputs[@]}"
  local files
  files=$(ls "$work/sequential" | wc -l)
  [ "$files" -ge 20 ] || fail "the sequential run made only $files files"
  [ "$(grep -c '"type":"input"' "$work/sequential.jsonl")" -eq \
    "$(find "$work/inputs" -type f | wc -l)" ] || fail "the sequential report does not list every input"
  echo "sequential: $files .jx4 files"
}

run_parallel() {
  expect 1 env JOBS=4 INPUTS_PER_JOB=4 "$root/examples/parallel/convert-parallel.sh" "$work/inputs.txt" \
    "$work/parallel" "$work/parallel-reports"
  check parallel "$work/parallel"
}

# A one-node cluster on this machine, with a configuration of its own.
start_cluster() {
  local c=$work/cluster host
  host=$(hostname -s)
  mkdir -p "$c/state" "$c/spool"
  chmod 711 "$c"
  head -c 1024 /dev/urandom > "$c/munge.key"
  chmod 400 "$c/munge.key"
  /usr/sbin/munged --socket="$c/munge.socket" --key-file="$c/munge.key" \
    --pid-file="$c/munged.pid" --log-file="$c/munged.log" --seed-file="$c/munged.seed"
  daemons+=("$(cat "$c/munged.pid")")
  cat > "$c/slurm.conf" <<EOF
ClusterName=nimbrel-test
SlurmctldHost=$host
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$c/munge.socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$c/state
SlurmdSpoolDir=$c/spool
SlurmctldPidFile=$c/slurmctld.pid
SlurmdPidFile=$c/slurmd.pid
SlurmctldLogFile=$c/slurmctld.log
SlurmdLogFile=$c/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$c/slurm.conf
  /usr/sbin/slurmctld
  for _ in $(seq 100); do [ -s "$c/slurmctld.pid" ] && break; sleep 0.1; done
  daemons+=("$(cat "$c/slurmctld.pid")")
  /usr/sbin/slurmd
  for _ in $(seq 100); do [ -s "$c/slurmd.pid" ] && break; sleep 0.1; done
  daemons+=("$(cat "$c/slurmd.pid")")
  for _ in $(seq 120); do
    [ "$(sinfo -h -o %T 2>/dev/null)" = idle ] && { echo "cluster: $host idle"; return 0; }
    sleep 0.5
  done
  tail -n 20 "$c"/*.log >&2
  fail "the node did not come up"
}

run_slurm() {
  start_cluster
  (cd "$work" && expect 1 timeout 300 sbatch --wait --quiet --array=0-7 \
     --output="$work/slurm-%A_%a.out" "$root/examples/slurm/convert-array.sh" \
     "$work/inputs.txt" "$work/slurm" "$work/slurm-reports")
  local gathered
  gathered=$("$root/examples/slurm/convert-array.sh" --gather "$work/slurm-reports") &&
    fail "the gather found no failed task"
  echo "$gathered"
  [ "$(grep -c '^task .*: exit status 1$' <<< "$gathered")" -eq 1 ] &&
    grep -q '^8 tasks, 1 failed$' <<< "$gathered" || fail "the gather should name one failed task"
  check "slurm array" "$work/slurm"
}

make_inputs
sequential
for part in "${parts[@]}"; do
  case $part in
    parallel) run_parallel ;;
    slurm) run_slurm ;;
    *) fail "unknown part '$part' (parallel, slurm)" ;;
  esac
done
