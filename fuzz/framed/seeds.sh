#!/usr/bin/env bash
# Seeds: the real framed files without their first four bytes (the target
# puts the frame start back).
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -eu
out=$1
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata/level3"
[ -d "$data" ] || exit 0
for f in "$data"/Level3_*.nids "$data"/NIDS_*; do
  tail -c +5 "$f" > "$out/$(basename "$f")"
done
cat "$data"/Level3_*.nids | tail -c +5 > "$out/stream"
exit 0
