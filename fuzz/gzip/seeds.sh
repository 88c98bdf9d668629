# Seeds for fuzz_gzip: small real .gz files written by gzip, tar and cat.
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
corpus=$1
testdata="$(cd "$(dirname "$0")" && pwd)/../../../shared/testdata"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf 'hello world\n' > "$work/hello"
gzip -n -c "$work/hello" > "$corpus/hello.gz"
gzip -c "$work/hello" > "$corpus/hello-named.gz"
seq 1 3000 > "$work/numbers"
gzip -1 -n -c "$work/numbers" > "$corpus/numbers-1.gz"
gzip -9 -n -c "$work/numbers" > "$corpus/numbers-9.gz"
cat "$corpus/hello.gz" "$corpus/numbers-1.gz" > "$corpus/two-members.gz"
{ cat "$corpus/hello.gz"; head -c 512 /dev/zero; } > "$corpus/zero-padded.gz"
: > "$work/empty"
gzip -n -c "$work/empty" > "$corpus/empty-member.gz"

if [ -d "$testdata" ]; then
  mkdir -p "$work/products"
  cp "$testdata/level3/KBMX_SDUS34_NMDBMX_201501020205" \
     "$testdata/level3/KBMX_SDUS54_NVLBMX_201501020205" "$work/products/"
  tar -cf "$work/products.tar" -C "$work" products
  gzip -6 -c "$work/products.tar" > "$corpus/products.tar.gz"
  gzip -9 -c "$testdata/tar/bla.tar" > "$corpus/bla.tar.gz"
  # The start of a real .gz from elsewhere: a cut member.
  head -c 4096 "$testdata/level2/KABR20050101_000745.gz" > "$corpus/kabr-start.gz"
fi
