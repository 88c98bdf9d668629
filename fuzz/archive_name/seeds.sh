#!/usr/bin/env bash
# Seeds: archive names with and without a pattern in front, real file names.
set -eu
out=$1
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata"
i=0
for entry in 'KTLX_SDUS54_N0RTLX_200507031203' 'ktlx_sdus54_n1rtlx_200507031203' \
             'n0r_notes.txt' 'KTLX_SDUS54_N0RTLX_2005 7 31203' 'KTLX_SDUS54_N0 TLX_-00507031203'; do
  printf '%s' "$entry" > "$out/name$i"
  printf '*TLX_200507031203\0%s' "$entry" > "$out/ending$i"
  printf 'in/\0%s' "$entry" > "$out/join$i"
  i=$((i + 1))
done
if [ -d "$data/level3" ]; then
  for path in "$data"/level3/*; do
    printf '*n0r*\0%s' "$(basename "$path")" > "$out/real$i"
    i=$((i + 1))
  done
fi
exit 0
