#!/usr/bin/env bash
# Seeds: the real Level III files, and products from the sample maker.
set -eu
out=$1 build=${2:-}
data="$(cd "$(dirname "$0")/../../.." && pwd)/shared/testdata"
[ -d "$data/level3" ] && cp "$data"/level3/* "$out"/
if [ -n "$build" ] && [ -x "$build/make_sample" ]; then
  "$build/make_sample" "$out" >/dev/null 2>&1 || true
fi
exit 0
