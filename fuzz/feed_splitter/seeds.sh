#!/usr/bin/env bash
# Seeds: the real framed files one by one and back to back, with a piece
# size byte and a live byte in front and without their first four bytes
# (the target puts the frame start back); a stream with a frame cut short
# and bytes between frames.
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -eu
out=$1
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata/level3"
[ -d "$data" ] || exit 0
n=0
for f in "$data"/Level3_*.nids "$data"/NIDS_*; do
  { printf "\\$(printf %03o $((n * 37 % 256)))\\$(printf %03o $((n % 2)))"; tail -c +5 "$f"; } > "$out/$(basename "$f")"
  n=$((n + 1))
done
{ printf '\007\000'; cat "$data"/Level3_STL_NCR_*.nids "$data"/NIDS_* | tail -c +5; } > "$out/stream"
{ printf '\003\001'; tail -c +5 "$data"/NIDS_DYX_NST_NST_20200522_0222 | head -c 1500
  printf 'junk between frames'; cat "$data"/Level3_STL_NCR_*.nids; } > "$out/damaged"
exit 0
