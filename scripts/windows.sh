#!/usr/bin/env bash
# The Windows programs, cross-built on Debian with mingw-w64 and tested
# under wine. Everything lands in build-win/, except the libraries: they are
# built once into ~/.cache/nimbrel-win-deps (or $NIMBREL_WIN_DEPS) and kept
# there, so a fresh clone does not build them again.
#   scripts/windows.sh deps      install the cross tools and wine; build bzip2, libarchive, libpng,
#                                GoogleTest
#   scripts/windows.sh build     deps, then the .exe files
#   scripts/windows.sh test      build, then under wine: the test binary, the sample converted
#                                byte-identically to the Linux build's, the key from a console
#   scripts/windows.sh package   build, then build-win/nimbrel-<version>-win64.zip
set -euo pipefail
shopt -s nullglob
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
out="$root/build-win"
deps=${NIMBREL_WIN_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/nimbrel-win-deps}
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
host=x86_64-w64-mingw32

packages=(cmake make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest libcli11-dev wine wine64
          dpkg-dev xz-utils zip tar python3 ncompress bzip2 gzip)

say() { printf '== %s\n' "$*"; }

install_packages() { bash "$root/scripts/dev.sh" install "${packages[@]}"; }

# Runs "$@" and says how long it took.
timed() {
  local start=$SECONDS
  "$@"
  say "$1: $(( SECONDS - start )) s"
}

# The archive address that apt already uses for the running suite.
debian_mirror() {
  local suite=$1
  { awk -v suite="$suite" 'BEGIN { RS = "" }
      /(^|\n)Types:[^\n]*deb( |\n|$)/ && match($0, /Suites:[^\n]*/) &&
      index(" " substr($0, RSTART + 7, RLENGTH - 7) " ", " " suite " ") &&
      match($0, /URIs:[ ]*[^ \n]+/) { u = substr($0, RSTART, RLENGTH); sub(/URIs:[ ]*/, "", u); print u }' \
      /etc/apt/sources.list.d/*.sources 2>/dev/null
    awk -v suite="$suite" '$1 == "deb" && $3 == suite { print $2 }' /etc/apt/sources.list 2>/dev/null
  } | head -n 1
}

# Debian's source package $1, unpacked (with Debian's patches) under
# $deps/src; prints the folder. Adds a deb-src entry for the suite in use
# when there is none.
debian_source() {
  local package=$1 sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  mkdir -p "$deps/src"
  local folder
  folder=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n 1)
  if [ -z "$folder" ]; then
    if ! apt-get source --print-uris "$package" 2>/dev/null | grep -q "'"; then
      local suite
      suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
      printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$(debian_mirror "$suite")" "$suite" | $sudo tee /etc/apt/sources.list.d/nimbrel-deb-src.sources >/dev/null
      $sudo apt-get update -qq
    fi
    (cd "$deps/src" && apt-get source -qq "$package" >/dev/null 2>&1)
    folder=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n 1)
  fi
  [ -n "$folder" ] || { echo "no source for $package" >&2; exit 1; }
  echo "$folder"
}

# Runs "$2..." unless $prefix/.built-$1 records that it was done.
once() {
  local stamp="$prefix/.built-$1"; shift
  [ -f "$stamp" ] && return 0
  "$@"
  mkdir -p "$prefix" && touch "$stamp"
}

build_bzip2() {
  local src
  src=$(debian_source bzip2)
  say "bzip2 from $(basename "$src")"
  make -s -C "$src" clean >/dev/null
  make -s -C "$src" libbz2.a CC="$host-gcc-posix" AR="$host-ar" RANLIB="$host-ranlib" \
    CFLAGS="-O2 -D_FILE_OFFSET_BITS=64" >/dev/null
  install -D -m 644 "$src/libbz2.a" "$prefix/lib/libbz2.a"
  install -D -m 644 "$src/bzlib.h" "$prefix/include/bzlib.h"
}

# Only the library, static, reading through zlib and bzip2; every other
# filter, crypto and text-conversion library is off.
build_xz() {  # liblzma, for .xz and .lzma and for 7z's usual compression
  local src
  src=$(debian_source xz-utils)
  say "liblzma from $(basename "$src")"
  rm -rf "$deps/xz" && mkdir -p "$deps/xz"
  (cd "$deps/xz" && "$src/configure" -q --host="$host" --prefix="$prefix" --disable-shared \
     --enable-static --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
     --disable-scripts --disable-doc --disable-nls CC="$host-gcc-posix" >/dev/null &&
   make -s -j"$jobs" -C src/liblzma >/dev/null && make -s -C src/liblzma install >/dev/null)
}

build_zstd() {
  local src
  src=$(debian_source libzstd)
  say "libzstd from $(basename "$src")"
  make -s -C "$src/lib" clean >/dev/null
  make -s -j"$jobs" -C "$src/lib" libzstd.a CC="$host-gcc-posix" AR="$host-ar" \
    ZSTD_LEGACY_SUPPORT=0 >/dev/null
  install -D -m 644 "$src/lib/libzstd.a" "$prefix/lib/libzstd.a"
  install -D -m 644 "$src/lib/zstd.h" "$prefix/include/zstd.h"
}

build_lz4() {
  local src
  src=$(debian_source lz4)
  say "liblz4 from $(basename "$src")"
  make -s -C "$src/lib" clean >/dev/null
  make -s -j"$jobs" -C "$src/lib" liblz4.a CC="$host-gcc-posix" AR="$host-ar" >/dev/null
  install -D -m 644 "$src/lib/liblz4.a" "$prefix/lib/liblz4.a"
  install -D -m 644 "$src/lib/lz4.h" "$prefix/include/lz4.h"
  install -D -m 644 "$src/lib/lz4hc.h" "$prefix/include/lz4hc.h"
}

build_libarchive() {
  local src
  src=$(debian_source libarchive)
  say "libarchive from $(basename "$src")"
  local off=()
  for option in LZO LIBB2 LIBXML2 EXPAT OPENSSL MBEDTLS NETTLE CNG PCREPOSIX \
                ICONV ACL XATTR TAR CPIO CAT TEST COVERAGE INSTALL; do
    off+=("-DENABLE_$option=OFF")
  done
  cmake -S "$src" -B "$deps/libarchive" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DNIMBREL_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DENABLE_ZLIB=ON \
    -DENABLE_BZip2=ON -DENABLE_LZMA=ON -DENABLE_ZSTD=ON -DENABLE_LZ4=ON "${off[@]}" -DCMAKE_FIND_LIBRARY_SUFFIXES=.a \
    -DZLIB_LIBRARY="/usr/$host/lib/libz.a" >/dev/null  # static zlib: no DLL imports
  cmake --build "$deps/libarchive" --target archive_static -j"$jobs" >/dev/null
  install -D -m 644 "$deps/libarchive/libarchive/libarchive_static.a" "$prefix/lib/libarchive.a"
  install -D -m 644 "$src/libarchive/archive.h" "$prefix/include/archive.h"
  install -D -m 644 "$src/libarchive/archive_entry.h" "$prefix/include/archive_entry.h"
}

build_libpng() {  # the PNG pictures of jx4 render; static, on mingw-w64's zlib
  local src
  src=$(debian_source libpng1.6)
  say "libpng from $(basename "$src")"
  cmake -S "$src" -B "$deps/libpng" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DNIMBREL_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_LIBRARY="/usr/$host/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$host/include" >/dev/null
  cmake --build "$deps/libpng" -j"$jobs" >/dev/null
  cmake --install "$deps/libpng" >/dev/null
}

build_googletest() {
  say "GoogleTest from /usr/src/googletest"
  cmake -S /usr/src/googletest -B "$deps/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$deps/googletest" -j"$jobs" >/dev/null
  cmake --install "$deps/googletest" >/dev/null
}

build_deps() {
  install_packages
  once bzip2 build_bzip2
  once xz build_xz
  once zstd build_zstd
  once lz4 build_lz4
  once libarchive-xz-zstd-lz4 build_libarchive
  once libpng build_libpng
  once googletest build_googletest
  # CLI11 is headers only: Debian's copy serves the cross-build as it is.
  once cli11 eval 'mkdir -p "$prefix/include" && cp -r /usr/include/CLI "$prefix/include/"'
}

build_programs() {
  timed build_deps
  timed cross_build
}

cross_build() {
  cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DNIMBREL_WINDOWS_DEPS="$prefix" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_BENCH=OFF >/dev/null
  cmake --build "$out" -j"$jobs"
}

# wine in a prefix of its own under build-win/, quiet. The tests' temporary
# folders are host paths (wine reads "/tmp/..." as Z:\tmp\...), so the host's
# shell and tools that the tests call find them too.
setup_wine() {
  export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export TMPDIR="$out/tmp" NIMBREL_POSIX_SHELL=/bin/sh
  mkdir -p "$TMPDIR"
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
}

# The .jx4 files that both builds make from each bundled archive must be the
# same bytes.
compare_sample() {
  local linux="$root/build/nimbrel"
  [ -x "$linux" ] && [ -x "$root/build/jx4" ] ||
    { cmake -S "$root" -B "$root/build" >/dev/null && cmake --build "$root/build" --target nimbrel jx4 -j"$jobs" >/dev/null; }
  for archive in "$root"/examples/sample.tar "$root"/examples/sample.tar.Z; do
    local name work
    name=$(basename "$archive")
    work="$out/sample/$name"
    rm -rf "$work" && mkdir -p "$work/linux" "$work/windows"
    (cd "$work/linux" && printf 'y\n' | "$linux" "$archive" >/dev/null)
    (cd "$work/windows" && printf 'y\n' | wine "$out/nimbrel.exe" "$archive" >/dev/null)
    local count
    count=$(find "$work/linux" -name '*.jx4' | wc -l)
    [ "$count" -gt 0 ] || { echo "FAIL: no .jx4 files from $name"; return 1; }
    diff -r "$work/linux" "$work/windows" >/dev/null || { echo "FAIL: $name: the .jx4 files differ"; return 1; }
    echo "sample $name: $count .jx4 files, byte-identical"
  done
  # jx4 convert of both archives at once, with a report.
  local work="$out/sample/jx4"
  rm -rf "$work" && mkdir -p "$work"
  "$root/build/jx4" convert -q -o "$work/linux" "$root"/examples/sample.tar "$root"/examples/sample.tar.Z
  wine "$out/jx4.exe" convert -q -o "$work/windows" --report "$work/report.jsonl" \
    "$root"/examples/sample.tar "$root"/examples/sample.tar.Z
  local count
  count=$(find "$work/linux" -name '*.jx4' | wc -l)
  [ "$count" -gt 0 ] || { echo "FAIL: no .jx4 files from jx4"; return 1; }
  diff -r "$work/linux" "$work/windows" >/dev/null || { echo "FAIL: jx4: the .jx4 files differ"; return 1; }
  grep -q '"outcome":"stored"' "$work/report.jsonl" || { echo "FAIL: jx4.exe wrote no report"; return 1; }
  echo "sample with jx4: $count .jx4 files, byte-identical"
}

# The y/n key from a console without Enter: nimbrel.exe in a pseudo-terminal,
# where wine gives it a console.
console_key() {
  local work="$out/console"
  rm -rf "$work" && mkdir -p "$work/in"
  python3 - "$out/nimbrel.exe" "$work" <<'PY'
import os, pty, re, select, signal, sys, time
program, work = sys.argv[1], sys.argv[2]
pid, fd = pty.fork()
if pid == 0:
    os.chdir(work)
    os.execvp("wine", ["wine", program, "in"])
seen = b""
def screen():  # the console's text without its escape sequences and blanks
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\s", b"", seen)
def wait_for(text, seconds=120):
    global seen
    end = time.time() + seconds
    while text not in screen() and time.time() < end:
        ready, _, _ = select.select([fd], [], [], 0.2)
        if ready:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                break
    return text in screen()
ok = wait_for(b"(yorn)?")
if ok:
    time.sleep(0.5)
    os.write(fd, b"y")  # no Enter
    ok = wait_for(b"Pressanykeytoexit") and b"Processingdirectory:in" in screen()
    os.write(fd, b"\r")  # Enter ends the final wait
for _ in range(200):
    if os.waitpid(pid, os.WNOHANG)[0] == pid:
        break
    time.sleep(0.1)
else:
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    ok = False
if not ok:
    print("FAIL: the key from the console:", screen().decode(errors="replace"))
    sys.exit(1)
print("console: the y key counted without Enter")
PY
}

wine_tests() { ctest --test-dir "$out" --output-on-failure -j"$jobs"; }

run_tests() {
  build_programs
  timed setup_wine
  timed wine_tests
  timed compare_sample
  timed console_key
}

package() {  # CPack's .zip of what `cmake --install` puts in place
  build_programs
  rm -f "$out"/nimbrel-*.zip
  (cd "$out" && cpack -G ZIP >/dev/null)
  ls "$out"/nimbrel-*.zip
}

case "${1:-}" in
  deps) build_deps ;;
  build) build_programs ;;
  test) run_tests ;;
  package) package ;;
  *)
    sed -n '2,10p' "$0"
    exit 2
    ;;
esac
