#!/usr/bin/env bash
# Packages: run from the repository root after the default preset has been
# built. Makes the .deb and the tarball with cpack, checks that both hold the
# same files (the .deb with Debian's names and compression), runs lintian on
# the .deb, installs it, checks that the programs, their manual pages and the
# CMake package are found, then removes the package again.
# Needs dpkg-dev and file (cpack's library dependencies), lintian, man-db and
# a C compiler.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== packages"
rm -f build/kestrin-lortane[_-]*.deb build/kestrin-lortane-*.tar.gz
(cd build && cpack)
deb=$(echo build/kestrin-lortane_*.deb)
tarball=$(echo build/kestrin-lortane-*.tar.gz)
[ -f "$deb" ] && [ -f "$tarball" ] || {
  echo "cpack did not make one .deb and one .tar.gz" >&2
  exit 1
}

# The .deb installs under /usr, the tarball holds one top folder: compare the
# files below those. The .deb has the licence as copyright, the changelog and
# the manual pages compressed, and lintian's overrides besides.
doc=share/doc/kestrin-lortane
deb_files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./usr/||' |
  sed -e "s|^$doc/copyright\$|$doc/LICENSE|" -e 's|\.gz$||' -e '\|^share/lintian/overrides/|d' | sort)
tarball_files=$(tar -tzf "$tarball" | grep -v '/$' | sed 's|^[^/]*/||' | sort)
if [ "$deb_files" != "$tarball_files" ]; then
  echo "the .deb and the tarball hold different files:" >&2
  diff <(echo "$deb_files") <(echo "$tarball_files") >&2
  exit 1
fi

# Every program is static, zlib in kestrin-preview included: the package
# depends on no library package.
depends=$(dpkg-deb -f "$deb" Depends)
[ -z "$depends" ] || {
  echo "the .deb depends on $depends; the programs are meant to be static" >&2
  exit 1
}

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb"

package=$(dpkg-deb -f "$deb" Package)
work=$(mktemp -d "${TMPDIR:-/tmp}/kl-package-XXXXXX")
cleanup() {
  rm -rf "$work"
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    dpkg -r "$package" >/dev/null
  fi
}
trap cleanup EXIT
dpkg -i "$deb"

check() {
  echo "check: $*"
  "$@" >/dev/null || {
    echo "failed: $*" >&2
    exit 1
  }
}
check command -v kestrin
check command -v lortane
check test -x /usr/bin/kestrin
check test -x /usr/bin/lortane
check test -x /usr/bin/kestrin-preview
check test -x /usr/bin/kestrin-prepare
check man -w kestrin
check man -w lortane
check man -w kestrin-preview
check man -w kestrin-prepare
check cmp LICENSE /usr/share/doc/kestrin-lortane/copyright
check test -f /usr/share/doc/kestrin-lortane/docs/kestrin.md
for page in kestrin lortane kestrin-preview kestrin-prepare; do
  zcat "/usr/share/man/man1/$page.1.gz" >"$work/$page.1"
  check cmp "man/$page.1" "$work/$page.1"
done
# Without arguments each program shows its banner and usage and ends with 1.
set +e
/usr/bin/kestrin >"$work/kestrin.out"
kestrin_status=$?
/usr/bin/lortane >"$work/lortane.out"
lortane_status=$?
set -e
check test "$kestrin_status" = 1
check test "$lortane_status" = 1
check grep -q "^Kestrin Converter, Version" "$work/kestrin.out"
check grep -q "^Lortane Converter, Version" "$work/lortane.out"

# The example consumer finds the installed package with find_package.
cmake -S examples -B "$work/example" -DCMAKE_PREFIX_PATH=/usr >"$work/configure.log" || {
  cat "$work/configure.log"
  exit 1
}
check grep -q "/usr/bin/kestrin" "$work/example/CMakeFiles/show_assets.dir/build.make"
cmake --build "$work/example" -j2 >"$work/build.log" || {
  cat "$work/build.log"
  exit 1
}
"$work/example/show_assets" >"$work/output.txt"
check diff -u tests/integration/show_assets_expected.txt "$work/output.txt"
# Its PREVIEW: the installed kestrin-preview made the gem's PNG, as it makes
# it when run by hand.
check grep -q "/usr/bin/kestrin-preview" "$work/example/CMakeFiles/show_assets.dir/build.make"
gem=$work/example/kestrin_headers/show_assets/gem.bmp.h
check /usr/bin/kestrin-preview --transparent "$gem" "$work/gem.png"
check cmp "$gem.png" "$work/gem.png"

dpkg -r "$package"
hash -r
if [ -e /usr/bin/kestrin ] || [ -e /usr/bin/kestrin-preview ] || [ -e /usr/bin/kestrin-prepare ] ||
  [ -e /usr/share/man/man1/kestrin.1.gz ]; then
  echo "dpkg -r left files behind" >&2
  exit 1
fi
echo "packages: $(basename "$deb") and $(basename "$tarball") install, work and remove cleanly"
