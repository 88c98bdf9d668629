#!/usr/bin/env bash
# Seeds for fuzz_bz2: the real Level II volumes' first blocks, their smaller
# blocks behind a volume header, and small block files made with bzip2.
# Usage: bash seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
out=$1
data="$(dirname "$0")/../../../shared/testdata/level2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The big-endian length word of a file's size, negated when $2 is "-".
word() {
  local n
  n=$(stat -c %s "$1")
  [ "${2:-}" = "-" ] && n=$(( (1 << 32) - n ))
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((n >> 24 & 255)) $((n >> 16 & 255)) $((n >> 8 & 255)) $((n & 255)))"
}
block() {  # FILE [-]: a length word and FILE's bzip2 stream
  bzip2 -9 -c "$1" > "$work/bz"
  word "$work/bz" "${2:-}"
  cat "$work/bz"
}

if [ -d "$data" ]; then
  head -c 4096 "$data/KLOT20220317_000842_V06" > "$out/klot-head"
  head -c 26202 "$data/Level2_TSTL_20220213_2357.ar2v" > "$out/tstl-head"
  cat "$data/chunks185/20260811-225858-001-S" > "$out/chunk-start"
  # Blocks 2 and 3 of the TSTL volume inflate to less than 243200 bytes.
  { head -c 24 "$data/Level2_TSTL_20220213_2357.ar2v"
    dd if="$data/Level2_TSTL_20220213_2357.ar2v" iflag=skip_bytes,count_bytes skip=266 count=25936 \
       status=none; } > "$out/tstl-small-blocks"
  { head -c 24 "$data/Level2_TSTL_20220213_2357.ar2v"
    cat "$data/chunks185/20260811-225858-049-E"; } > "$out/tstl-last-block"
fi

printf 'AR2V0008.141\0\0J]\5$\203XTSTL' > "$work/header"
mkdir -p "$work/tree"
for i in 1 2 3; do seq 1 $((i * 400)) > "$work/tree/file$i"; done
tar -cf "$work/t.tar" -C "$work/tree" .
: > "$work/empty"
{ cat "$work/header"; block "$work/tree/file1"; block "$work/t.tar" -; } > "$out/text-and-tar"
{ cat "$work/header"; block "$work/empty"; block "$work/tree/file2"; printf '\x80\0\0\0'; } > "$out/empty-then-bad-length"
