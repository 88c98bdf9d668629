#!/usr/bin/env bash
# Fails when any of the given static libraries defines mutable state at
# namespace scope (or a function-local static): objects in .data or .bss.
# Read-only tables that need relocation (.data.rel.ro) are fine, and so are the
# compiler's DW.ref.* words: the exception tables' references to the
# personality routine and to the type_info of each caught type.
set -euo pipefail
found=$(for lib in "$@"; do
  objdump -t "$lib" | awk '$4 ~ /^\.(data|bss)(\.|$)/ && $4 !~ /rel\.ro/ && $3 == "O"'
done | grep -v ' DW\.ref\.' | c++filt || true)
if [ -n "$found" ]; then
  echo "mutable global state:"
  echo "$found"
  exit 1
fi
echo "no mutable global state in: $*"
