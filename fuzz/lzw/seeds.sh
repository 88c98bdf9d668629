#!/usr/bin/env bash
# Seeds: the shared .Z files and small compress outputs of several widths,
# each without its 2-byte magic (the target puts it back).
set -eu
out=$1
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata"
for f in "$data"/compress/*.Z "$data"/tar/*.tar.Z; do
  [ -f "$f" ] && tail -c +3 "$f" > "$out/$(basename "$f")"
done
if command -v compress >/dev/null 2>&1; then
  text="the quick brown fox jumps over the lazy dog; aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
  for bits in 9 10 12 14 16; do
    printf '%s' "$text" | compress -c -b "$bits" | tail -c +3 > "$out/text-b$bits" || true
    head -c 60000 /dev/urandom | compress -c -f -b "$bits" | tail -c +3 > "$out/random-b$bits" || true
  done
fi
exit 0
