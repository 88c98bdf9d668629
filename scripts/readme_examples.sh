#!/usr/bin/env bash
# Runs the examples of a Markdown file: every code block fenced as
#
#   ```sh example
#   ...
#   ```
#
# in order, each as its own `bash -euo pipefail` started in the repository
# root (what one block leaves on disk, the next may use). Prints every block
# before running it, then "N passed, N failed"; exits 1 when a block failed
# or there was none.
#
#   scripts/readme_examples.sh [FILE]       (default: README.md)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readme=${1:-$root/README.md}
blocks=$(mktemp -d)
trap 'rm -rf "$blocks"' EXIT

awk -v dir="$blocks" '
  open && /^```[[:space:]]*$/ { open = 0; close(file); next }
  open { print > file; next }
  /^```sh example[[:space:]]*$/ { open = 1; file = sprintf("%s/%03d-line-%d.sh", dir, ++n, NR); printf "" > file }
  END { if (open) { print "an example block is not closed" > "/dev/stderr"; exit 1 } }
' "$readme" || exit 1

passed=0
failed=0
for block in "$blocks"/*.sh; do
  echo "=== $(basename "$readme") example at line ${block##*-line-}" | sed 's/\.sh$//'
  sed 's/^/$ /' "$block"
  started=$SECONDS
  if (cd "$root" && bash -euo pipefail "$block"); then
    passed=$((passed + 1))
    echo "=== passed in $((SECONDS - started)) s"
  else
    echo "=== FAILED after $((SECONDS - started)) s"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
