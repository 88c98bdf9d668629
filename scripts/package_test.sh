#!/usr/bin/env bash
# Checks the .deb as a new user meets it, on a fresh Debian root made here
# (mmdebstrap, minbase, the release this machine runs):
#   1. the package holds the programs, their manual pages (every man/*.1 of
#      the source tree), the sample and the recipes, and declares the shared
#      libraries it needs;
#   2. apt installs the package in the fresh root, so only the declared
#      dependencies come along; there `jx4 --version`, a jx4 convert and a
#      nimbrel run of the installed sample work; then it is purged and leaves
#      nothing behind;
#   3. the quick start's first command, `bash scripts/dev.sh sample`, works in
#      the same root on a copy of this source tree.
#
#   scripts/package_test.sh PACKAGE.deb          (as root; needs mmdebstrap)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deb=$(realpath "$1")
fail() { echo "FAIL: $*" >&2; exit 1; }

# 1. What the package holds and declares.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(./usr/bin/nimbrel ./usr/bin/jx4 ./usr/share/nimbrel/examples/sample.tar
          "$(grep -o '\./usr/lib/python3/dist-packages/jx4\.[^ ]*\.so' <<< "$contents" || echo "the Python module")"
          ./usr/share/nimbrel/examples/convert-array.sh ./usr/share/nimbrel/examples/convert-parallel.sh)
for page in "$root"/man/*.1; do
  [ -e "$page" ] && expected+=("./usr/share/man/man1/$(basename "$page")")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" <<< "$contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q libarchive <<< "$depends" || fail "the package does not declare the libraries it links"
grep -q python3-numpy <<< "$depends" || fail "the package does not declare what its Python module needs"
echo "package contents and dependencies: OK"

# 2. A fresh root; apt installs the package there as a user would.
fresh=$(mktemp -d /var/tmp/nimbrel-fresh.XXXXXX)
trap 'rm -rf --one-file-system "$fresh"' EXIT
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
mmdebstrap --quiet --variant=minbase --skip=cleanup/apt/lists "$codename" "$fresh"
cp /etc/resolv.conf "$fresh/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$fresh/tmp/nimbrel.deb"
echo "fresh $codename root made in $SECONDS s"

in_root() {  # in_root SCRIPT: run SCRIPT with bash in the fresh root
  unshare --mount --fork sh -c 'mount -t proc proc "$1/proc" &&
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$1/dev/pts" && exec chroot "$1" /usr/bin/env -i \
    PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 bash -euo pipefail -c "$2"' \
    sh "$fresh" "$1"
}

in_root '
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/nimbrel.deb > /dev/null
  jx4 --version
  mkdir -p /tmp/convert /tmp/dialogue
  jx4 convert -o /tmp/convert /usr/share/nimbrel/examples/sample.tar /usr/share/nimbrel/examples/sample.tar.Z
  [ "$(ls /tmp/convert | wc -l)" -eq 6 ] || { echo "jx4 convert: not 6 files"; exit 1; }
  cd /tmp/dialogue && printf "y\n" | nimbrel /usr/share/nimbrel/examples/sample.tar > /dev/null
  [ "$(ls /tmp/dialogue | wc -l)" -eq 6 ] || { echo "nimbrel: not 6 files"; exit 1; }
  python3 -c "import jx4; s = jx4.convert(\"/usr/share/nimbrel/examples/sample.tar\", \"/tmp/python\"); assert s.files_created == 6, s; print(\"python3: import jx4:\", s)"
  dpkg -L nimbrel | grep -E "/man/|^/usr/bin/" || true
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq nimbrel > /dev/null
  for path in /usr/bin/jx4 /usr/bin/nimbrel /usr/share/nimbrel /usr/share/doc/nimbrel; do
    [ ! -e "$path" ] || { echo "$path is left after the purge"; exit 1; }
  done
  echo "installed, used and purged on a fresh root: OK"
' || fail "the installed package"

# 3. The quick start's first command on the fresh root.
started=$SECONDS
mkdir "$fresh/root/nimbrel"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
   tar --null -T - -cf -) | tar -xf - -C "$fresh/root/nimbrel"
in_root '
  before=$(du -sxm /usr | cut -f1)
  cd /root/nimbrel && bash scripts/dev.sh sample > /tmp/sample.log 2>&1 || { tail -n 30 /tmp/sample.log; exit 1; }
  echo "the sample installed $(($(du -sxm /usr | cut -f1) - before)) MB under /usr"
  [ "$(ls out/sample/jx4 | wc -l)" -eq 6 ] || { echo "not 6 files"; exit 1; }
  for p in clang libgtest-dev libbenchmark-dev; do
    if dpkg-query -W -f="\${Status}" "$p" 2>/dev/null | grep -q "ok installed"; then
      echo "the sample installed $p"; exit 1
    fi
  done
  echo "quick start (sample) on a fresh root: OK"
' || fail "the quick start on a fresh root"
echo "the quick start's sample took $((SECONDS - started)) s; the package test $SECONDS s"
