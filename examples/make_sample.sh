#!/usr/bin/env bash
# Rebuilds examples/sample.tar: builds make_sample, lets it write the
# synthetic product files, and packs them with GNU tar so that the archive is
# the same byte for byte on every machine (fixed order, time, owner, mode).
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$root" -B "$root/build" >/dev/null
cmake --build "$root/build" -j2 --target make_sample >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/build/make_sample" "$work"
cd "$work"
printf '%s\n' * | tar --sort=name --mtime=@1120392192 --owner=0 --group=0 --numeric-owner \
  --mode=0644 --format=gnu -cf "$root/examples/sample.tar" -T -
ls -l "$root/examples/sample.tar"
# The same archive compressed with Unix compress (16-bit codes).
compress -b16 -c "$root/examples/sample.tar" > "$root/examples/sample.tar.Z"
ls -l "$root/examples/sample.tar.Z"
