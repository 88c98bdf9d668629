#!/usr/bin/env bash
# Fails when any of the given static libraries defines mutable state at
# namespace scope (or a function-local static): objects in .data or .bss.
# Read-only tables that need relocation (.data.rel.ro) are fine.
set -euo pipefail
found=$(for lib in "$@"; do
  objdump -t "$lib" | awk '$4 ~ /^\.(data|bss)(\.|$)/ && $4 !~ /rel\.ro/ && $3 == "O"'
done | grep -v 'DW.ref.__gxx_personality_v0' | c++filt || true)
if [ -n "$found" ]; then
  echo "mutable global state:"
  echo "$found"
  exit 1
fi
echo "no mutable global state in: $*"
