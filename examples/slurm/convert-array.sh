#!/usr/bin/env bash
# Files the inputs listed in a file (one archive, folder or product file per
# line) into one shared output folder, a slice of the list per task of a Slurm
# job array:
#
#   sbatch --array=0-99 convert-array.sh INPUT_LIST OUTPUT_DIR [REPORT_DIR]
#   convert-array.sh --gather REPORT_DIR      afterwards: did every task succeed?
#
# Task i of N takes lines i, i+N, i+2N, ... of the list (blank lines and lines
# starting with '#' are skipped), so large and small inputs mix. Array indices
# must run from 0 to N-1. To run some tasks again, keep the slicing with
# SLICES: `SLICES=100 sbatch --array=7,42 convert-array.sh ...` (products
# already filed are not stored twice, so a rerun is safe).
#
# Each task writes REPORT_DIR/task-<i>.jsonl (the jx4 report) and
# REPORT_DIR/task-<i>.status (its exit status); REPORT_DIR defaults to
# jx4-reports-<array job id> in the submit folder. `sbatch --wait` exits with
# the highest status of all tasks; --gather also finds tasks that never ended.
# JX4 names the program (default: jx4 on the PATH); each task converts with as
# many threads as it has CPUs (--cpus-per-task).
#
# All tasks write into OUTPUT_DIR at once: each .jx4 file is locked (flock)
# while a product is added, so OUTPUT_DIR must be on a file system whose locks
# hold across nodes: NFSv4, Lustre mounted with -o flock, or a local disk when
# all tasks run on one node. See README.md beside this script.
#SBATCH --job-name=jx4-convert
#SBATCH --cpus-per-task=1
#SBATCH --output=jx4-convert-%A_%a.out
set -uo pipefail

gather() {
  local dir=$1 tasks failed=0 i status
  tasks=$(cat "$dir/tasks" 2>/dev/null) || { echo "no task has started in '$dir'" >&2; return 1; }
  for ((i = 0; i < tasks; i++)); do
    status=$(cat "$dir/task-$i.status" 2>/dev/null || echo "none (never ended)")
    if [ "$status" != 0 ]; then
      echo "task $i: exit status $status"
      failed=$((failed + 1))
    fi
  done
  # Inputs that were not read to their end, from the reports.
  cat "$dir"/task-*.jsonl 2>/dev/null | grep '^{"type":"input"' | grep -v '"outcome":"complete"'
  echo "$tasks tasks, $failed failed"
  [ "$failed" -eq 0 ]
}

if [ "${1:-}" = --gather ] && [ $# -eq 2 ]; then
  gather "$2"
  exit
fi
if [ $# -lt 2 ] || [ $# -gt 3 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "usage: sbatch --array=0-N convert-array.sh INPUT_LIST OUTPUT_DIR [REPORT_DIR]" >&2
  echo "       convert-array.sh --gather REPORT_DIR" >&2
  exit 2
fi
list=$1
output=$2
reports=${3:-${SLURM_SUBMIT_DIR:-.}/jx4-reports-${SLURM_ARRAY_JOB_ID}}
slices=${SLICES:-${SLURM_ARRAY_TASK_COUNT}}
slice=$SLURM_ARRAY_TASK_ID
if [ "$slice" -ge "$slices" ]; then
  echo "task $slice of $slices slices: array indices must run from 0 to $((slices - 1))" >&2
  exit 2
fi

mkdir -p "$reports" || exit 1
echo "$slices" > "$reports/tasks.$slice" && mv -f "$reports/tasks.$slice" "$reports/tasks"
if [ ! -r "$list" ]; then
  echo "cannot read the input list '$list'" >&2
  echo 1 > "$reports/task-$slice.status"
  exit 1
fi
rm -f "$reports/task-$slice.status"
mapfile -t inputs < <(grep -v -e '^[[:space:]]*$' -e '^#' "$list" |
                      awk -v n="$slices" -v i="$slice" '(NR - 1) % n == i')
status=0
if [ ${#inputs[@]} -gt 0 ]; then
  "${JX4:-jx4}" convert -q -j "${SLURM_CPUS_PER_TASK:-1}" -o "$output" \
    --report "$reports/task-$slice.jsonl" "${inputs[@]}"
  status=$?
fi
echo "task $slice: ${#inputs[@]} inputs, exit status $status"
echo "$status" > "$reports/task-$slice.status"
exit "$status"
