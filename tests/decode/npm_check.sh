#!/usr/bin/env bash
# Our decoding against the npm reader of Level III products: every real
# product that both decode to radials must give the same radials.
#   npm_check.sh dump DECODE_DUMP NPM_DIR LEVEL3_DIR   the decoder, on the files as they are
#   npm_check.sh jx4 JX4 NPM_DIR LEVEL3_DIR            `jx4 decode --format json`, on every
#                                                      product `jx4 convert --catalogue extended` stores
# Exits 77 (skipped) without node, the npm package or the data.
set -u
mode=$1 program=$2 npm=$3 data=$4
command -v node >/dev/null || { echo "node is not installed: skipped"; exit 77; }
[ -f "$npm/node_modules/nexrad-level-3-data/package.json" ] ||
  { echo "nexrad-level-3-data is not installed in $npm (bash scripts/dev.sh npm): skipped"; exit 77; }
[ -d "$data" ] || { echo "no Level III test data at $data: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
reader="$(dirname "$0")/npm_reader.js"
export NIMBREL_NPM_DIR=$npm
case "$mode" in
  dump)
    "$program" --json "$data"/* >"$work/ours.jsonl" || { echo "decode_dump failed"; exit 1; }
    node "$reader" compare "$work/ours.jsonl" "$data"
    ;;
  jx4)
    "$program" convert -q --catalogue extended -o "$work/jx4" "$data" || { echo "jx4 convert failed"; exit 1; }
    "$program" decode --format json "$work"/jx4/*.jx4 >"$work/ours.jsonl" ||
      { echo "jx4 decode failed"; exit 1; }
    echo "jx4 decode: $(wc -l <"$work/ours.jsonl") products in $(ls "$work/jx4" | wc -l) .jx4 files"
    node "$reader" compare-jx4 "$work/ours.jsonl"
    ;;
  *)
    echo "usage: npm_check.sh dump|jx4 PROGRAM NPM_DIR LEVEL3_DIR"
    exit 2
    ;;
esac
