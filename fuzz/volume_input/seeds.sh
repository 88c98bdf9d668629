#!/usr/bin/env bash
# Seeds: .jx4 files made from the real Level III files (a volume of more than
# 60 products among them), without their first four bytes (the target puts
# the magic back), and a damaged copy of each.
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -eu
out=$1 build=${2:-}
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata/level3"
[ -d "$data" ] && [ -n "$build" ] && [ -x "$build/jx4" ] || exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/jx4" convert -q -j 1 --catalogue extended -o "$work" "$data" || true
for f in "$work"/*.jx4; do
  name=$(basename "$f")
  tail -c +5 "$f" > "$out/$name"
  head -c "$(( $(stat -c %s "$f") / 2 ))" "$f" | tail -c +5 > "$out/cut-$name"
done
exit 0
