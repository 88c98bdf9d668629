#!/usr/bin/env bash
# Developer entry points.
#   scripts/dev.sh sample        install what is missing, build, convert the bundled sample
#   scripts/dev.sh test          install what is missing, build, run the test suite; then the
#                                gzip tests again with zlib as the inflater (build-zlib)
#   scripts/dev.sh asan          the test suite under AddressSanitizer + UBSan
#   scripts/dev.sh fuzz [SECS]   build the libFuzzer targets, run each for SECS (30) seconds
#   scripts/dev.sh bench         build and run the benchmarks (RAM-backed folder)
#   scripts/dev.sh windows [CMD] the Windows programs: scripts/windows.sh CMD (test)
#   scripts/dev.sh install PKG.. install those of the Debian packages that are missing
set -euo pipefail
shopt -s nullglob
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

packages=(cmake make g++ pkgconf libbz2-dev zlib1g-dev libisal-dev libarchive-dev libcli11-dev
          libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          ncompress bzip2 gzip isal tar xz-utils zstd zip p7zip-full cpio groff jq)

# Installs those of the named Debian packages that are missing.
install_missing() {
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

deps() { install_missing "${packages[@]}"; }

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs"
}

case "${1:-}" in
  sample)
    deps
    build build
    out="$root/out/sample"
    rm -rf "$out" && mkdir -p "$out" && cd "$out"
    for archive in "$root"/examples/sample.tar "$root"/examples/sample.tar.Z; do
      [ -f "$archive" ] || continue
      mkdir -p "$out/$(basename "$archive")" && cd "$out/$(basename "$archive")"
      printf 'y\n' | "$root/build/nimbrel" "$archive"
      ls -l
    done
    ;;
  test)
    deps
    build build
    ctest --test-dir "$root/build" --output-on-failure -j"$jobs"
    # The same gzip tests over the zlib fallback, for platforms without ISA-L.
    cmake -S "$root" -B "$root/build-zlib" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_ISAL=OFF \
          -DNIMBREL_BENCH=OFF >/dev/null
    cmake --build "$root/build-zlib" -j"$jobs" --target nimbrel_tests
    ctest --test-dir "$root/build-zlib" --output-on-failure -j"$jobs" -R '^GzipStream\.'
    ;;
  asan)
    deps
    build build-asan -DNIMBREL_SANITIZE=ON -DNIMBREL_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"
    ;;
  fuzz)
    deps
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
    deps
    build build
    for b in "$root"/build/bench_*; do
      [ -x "$b" ] && (cd /dev/shm && "$b")
    done
    ;;
  windows)
    bash "$root/scripts/windows.sh" "${2:-test}"
    ;;
  install)
    shift
    install_missing "$@"
    ;;
  *)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
