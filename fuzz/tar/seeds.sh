#!/usr/bin/env bash
# Fills the seed corpus of fuzz_tar: the shared tar vectors, and small
# archives made here by tar in each format, plain, compressed and gzipped.
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
corpus=$1
testdata="$(dirname "$0")/../../../shared/testdata/tar"
if [ -d "$testdata" ]; then
  cp "$testdata"/* "$corpus"/
  chmod u+w "$corpus"/*
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p d
printf 'KTLX_SDUS54_N0RTLX_200507031203 small member\n' > d/one
head -c 1500 /dev/zero | tr '\0' 'a' > two
: > empty
long=$(printf 'n%.0s' $(seq 1 110))
printf 'long name\n' > "$long"
for format in gnu ustar pax v7; do
  tar --format=$format -cf "$corpus/made-$format.tar" d two empty "$long" 2>/dev/null || true
done
tar --format=gnu -cf plain.tar d two
compress -c plain.tar > "$corpus/made-gnu.tar.Z" 2>/dev/null || true
gzip -c plain.tar > "$corpus/made-gnu.tar.gz"
bzip2 -c plain.tar > "$corpus/made-gnu.tar.bz2"
