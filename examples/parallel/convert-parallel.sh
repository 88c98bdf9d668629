#!/usr/bin/env bash
# Files the inputs listed in a file (one archive, folder or product file per
# line) into one output folder on this machine, with GNU parallel: for lists
# too long for one command line, and for runs that must survive a stop.
#
#   convert-parallel.sh INPUT_LIST OUTPUT_DIR REPORT_DIR
#
# Each job hands up to 32 inputs (INPUTS_PER_JOB to change) to one
# `jx4 convert -j 1`; as many jobs run at once as there are cores (JOBS). Job n writes its report to
# REPORT_DIR/job-<n>.jsonl; REPORT_DIR/joblog records each job's exit status,
# so running the same command again redoes only the jobs that did not succeed
# (products already filed are not stored twice). JX4 names the program
# (default: jx4 on the PATH).
# Exit status: 0 when every job succeeded, 1 when one failed, 2 for a wrong
# command line.
set -u
if [ $# -ne 3 ]; then
  echo "usage: convert-parallel.sh INPUT_LIST OUTPUT_DIR REPORT_DIR" >&2
  exit 2
fi
list=$1
output=$2
reports=$3
if [ ! -r "$list" ]; then
  echo "cannot read the input list '$list'" >&2
  exit 1
fi
if ! command -v parallel >/dev/null 2>&1; then
  echo "GNU parallel is not installed; install it (Debian, Ubuntu: apt install parallel) and run this again" >&2
  exit 1
fi
if ! parallel --version 2>/dev/null | grep -q 'GNU parallel'; then
  echo "the 'parallel' on the PATH is not GNU parallel (moreutils has one of that name); install GNU parallel" >&2
  exit 1
fi
mkdir -p "$reports" || exit 1
grep -v -e '^[[:space:]]*$' -e '^#' "$list" |
  parallel --will-cite --quote --jobs "${JOBS:-$(nproc)}" --max-args "${INPUTS_PER_JOB:-32}" \
    --joblog "$reports/joblog" --resume-failed \
    "${JX4:-jx4}" convert -q -j 1 -o "$output" --report "$reports/job-{#}.jsonl" {}
failed=$?  # the number of jobs that failed (101: more than 100)
if [ "$failed" -ne 0 ]; then
  echo "$failed jobs failed; see $reports/joblog, then run the same command again" >&2
  exit 1
fi
