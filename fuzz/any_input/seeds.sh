#!/usr/bin/env bash
# Seeds: small archives of real products in every kind jx4 reads, a framed
# file, and the sample archives.
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -eu
out=$1
root="$(cd "$(dirname "$0")/../.." && pwd)"
data="$root/../shared/testdata/level3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/examples/sample.tar* "$out"/ 2>/dev/null || true
[ -d "$data" ] || exit 0
cp "$data/NIDS_DYX_NST_NST_20200522_0222" "$data/KBMX_SDUS54_NVLBMX_201501020205" "$out"/
cd "$work"
cp "$data/KBMX_SDUS54_NVLBMX_201501020205" "$data/KBMX_SDUS34_NMDBMX_201501020205" .
tar -cf plain.tar KBMX_*
tar -czf "$out/a.tar.gz" plain.tar
tar -cjf "$out/a.tar.bz2" KBMX_*
command -v xz >/dev/null && tar -cJf "$out/a.tar.xz" KBMX_*
command -v zip >/dev/null && zip -q "$out/a.zip" KBMX_*
command -v cpio >/dev/null && ls KBMX_* | cpio -o -H newc --quiet > "$out/a.cpio"
compress -c plain.tar > "$out/a.tar.Z" 2>/dev/null || true
cp plain.tar "$out/"
exit 0
