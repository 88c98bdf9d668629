#!/usr/bin/env bash
# Seeds: the real Level III files, and built products of every image packet
# (written by the target itself).
set -eu
out=$1 build=${2:-}
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata"
[ -d "$data/level3" ] && cp "$data"/level3/* "$out"/
if [ -n "$build" ] && [ -x "$build/fuzz_decode" ]; then
  NIMBREL_WRITE_SEEDS="$out" "$build/fuzz_decode" >/dev/null 2>&1 || true
fi
exit 0
