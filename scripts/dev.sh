#!/usr/bin/env bash
# Developer entry points.
#   scripts/dev.sh sample        install what the programs need, build them, convert the bundled sample
#   scripts/dev.sh test          install what is missing, build everything, run the test suite; then
#                                the gzip and feed tests again with zlib as the inflater (build-zlib)
#   scripts/dev.sh asan          the test suite under AddressSanitizer + UBSan
#   scripts/dev.sh fuzz [SECS]   build the libFuzzer targets, run each for SECS (30) seconds
#   scripts/dev.sh bench         build and run the benchmarks (RAM-backed folder)
#   scripts/dev.sh package       build the programs for release and make the .deb in build-package/
#   scripts/dev.sh package-test  make the .deb, install it into a fresh Debian root, use it, remove it
#   scripts/dev.sh examples      run the README's examples, in order, from the repository root
#   scripts/dev.sh scale-out     run the GNU parallel and Slurm recipes, compare with one sequential run
#   scripts/dev.sh bars [NAME]   the black-box checks of scripts/bars/ (feeds: a 300 MB feed, plain and
#                                gzipped, as a file and through a pipe, stopped, damaged; modern_data:
#                                today's products with the extended catalogue, selections, layouts)
#   scripts/dev.sh windows [CMD] the Windows programs: scripts/windows.sh CMD (test)
#   scripts/dev.sh npm           install node and the npm Level III reader the decoder is checked
#                                against (in $NIMBREL_NPM_DIR, ~/.cache/nimbrel-npm)
#   scripts/dev.sh install PKG.. install those of the Debian packages that are missing
set -euo pipefail
shopt -s nullglob
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# What each command needs from Debian/Ubuntu, beyond what the one before it needs.
program_packages=(cmake make g++ pkgconf libbz2-dev zlib1g-dev libisal-dev libarchive-dev libcli11-dev
                  libpng-dev)
test_packages=(libgtest-dev libbenchmark-dev ncompress bzip2 gzip isal tar xz-utils zstd zip
               p7zip-full cpio groff jq python3 pybind11-dev python3-dev python3-numpy python3-pytest)
fuzz_packages=(clang libclang-rt-14-dev)
package_packages=(dpkg-dev file mmdebstrap pybind11-dev python3-dev)
scale_packages=(parallel slurm-wlm munge python3)
npm_packages=(nodejs npm)
# The npm reader of Level III products that tests/decode/npm_check.sh compares with.
npm_reader=nexrad-level-3-data@0.4.1
npm_dir=${NIMBREL_NPM_DIR:-$HOME/.cache/nimbrel-npm}

deps() {  # deps PACKAGE...: install those that are missing
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {  # build DIR [cmake options...] [--target NAME...]
  local dir=$1 options=() targets=()
  shift
  while [ $# -gt 0 ] && [ "$1" != --target ]; do options+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=(--target "$@")
  cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
  cmake --build "$root/$dir" -j"$jobs" "${targets[@]}"
}

package() {  # the .deb of the programs, built for release, in build-package/
  rm -f "$root"/build-package/nimbrel_*.deb
  build build-package -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=OFF \
        -DNIMBREL_PYTHON=ON
  (cd "$root/build-package" && cpack -G DEB)
  ls -l "$root"/build-package/nimbrel_*.deb
}

case "${1:-}" in
  sample)
    deps "${program_packages[@]}"
    build build -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=OFF --target nimbrel jx4
    out="$root/out/sample"
    rm -rf "$out" && mkdir -p "$out"
    for archive in "$root"/examples/sample.tar "$root"/examples/sample.tar.Z; do
      mkdir -p "$out/$(basename "$archive")" && cd "$out/$(basename "$archive")"
      printf 'y\n' | "$root/build/nimbrel" "$archive"
      ls -l
    done
    "$root/build/jx4" convert -o "$out/jx4" "$root"/examples/sample.tar "$root"/examples/sample.tar.Z
    ls -l "$out/jx4"
    ;;
  test)
    deps "${program_packages[@]}" "${test_packages[@]}"
    build build -DNIMBREL_TESTS=ON -DNIMBREL_BENCH=ON -DNIMBREL_PYTHON=ON
    ctest --test-dir "$root/build" --output-on-failure -j"$jobs"
    # The same gzip and feed tests over the zlib fallback, for platforms without ISA-L.
    build build-zlib -DNIMBREL_ISAL=OFF -DNIMBREL_TESTS=ON -DNIMBREL_BENCH=OFF --target nimbrel_tests
    ctest --test-dir "$root/build-zlib" --output-on-failure -j"$jobs" \
          -R '^(GzipStream|FeedSplitter|UnframeProducts)\.'
    ;;
  asan)
    deps "${program_packages[@]}" "${test_packages[@]}"
    build build-asan -DNIMBREL_SANITIZE=ON -DNIMBREL_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"
    ;;
  fuzz)
    deps "${program_packages[@]}" "${test_packages[@]}" "${fuzz_packages[@]}"
    secs=${2:-30}
    CXX=clang++ build build-fuzz -DNIMBREL_FUZZ=ON -DNIMBREL_TESTS=OFF
    for dir in "$root"/fuzz/*/; do
      name=$(basename "$dir")
      corpus=$(mktemp -d)
      [ -f "$dir/seeds.sh" ] && bash "$dir/seeds.sh" "$corpus" "$root/build-fuzz"
      echo "fuzz_$name: $(ls "$corpus" | wc -l) seeds, ${secs}s"
      (cd "$corpus" && "$root/build-fuzz/fuzz_$name" -max_total_time="$secs" -rss_limit_mb=4096 \
         -print_final_stats=1 "$corpus" 2>&1 | tail -n 12)
      rm -rf "$corpus"
    done
    ;;
  bench)
    deps "${program_packages[@]}" "${test_packages[@]}"
    build build -DNIMBREL_TESTS=ON -DNIMBREL_BENCH=ON
    for b in "$root"/build/bench_*; do
      [ -x "$b" ] && (cd /dev/shm && "$b")
    done
    ;;
  package)
    deps "${program_packages[@]}" "${package_packages[@]}"
    package
    ;;
  package-test)
    deps "${program_packages[@]}" "${package_packages[@]}"
    package
    bash "$root/scripts/package_test.sh" "$root"/build-package/nimbrel_*.deb
    ;;
  examples)
    deps parallel python3-matplotlib  # the README's GNU parallel and Python examples say to install them
    bash "$root/scripts/readme_examples.sh" "$root/README.md"
    ;;
  scale-out)
    deps "${program_packages[@]}" "${test_packages[@]}" "${scale_packages[@]}"
    build build --target jx4
    JX4="$root/build/jx4" bash "$root/scripts/scale_out_test.sh"
    ;;
  bars)
    deps "${program_packages[@]}" python3 time
    build build --target jx4
    data=${NIMBREL_TESTDATA_DIR:-$root/../shared/testdata}
    work=/dev/shm; [ -d "$work" ] || work=${TMPDIR:-/tmp}
    for bar in "$root"/scripts/bars/${2:-*}.py; do
      status=0
      python3 "$bar" "$root/build/jx4" "$data" "$work" || status=$?
      if [ "$status" = 77 ]; then echo "$(basename "$bar" .py): skipped (no test data in $data)"
      elif [ "$status" != 0 ]; then exit "$status"; fi
    done
    ;;
  windows)
    bash "$root/scripts/windows.sh" "${2:-test}"
    ;;
  npm)
    # node and npm from Debian, unless some node with npm is there already.
    command -v node >/dev/null && command -v npm >/dev/null || deps "${npm_packages[@]}"
    installed=$(node -p "require('$npm_dir/node_modules/${npm_reader%@*}/package.json').version" \
                2>/dev/null || true)
    if [ "$installed" != "${npm_reader##*@}" ]; then
      mkdir -p "$npm_dir"
      npm install --prefix "$npm_dir" --no-audit --no-fund --silent "$npm_reader"
    fi
    echo "npm reader: $npm_dir/node_modules/${npm_reader%@*} ${npm_reader##*@}"
    ;;
  install)
    shift
    deps "$@"
    ;;
  *)
    awk 'NR > 1 && /^#/ { print; next } NR > 1 { exit }' "$0"
    exit 2
    ;;
esac
