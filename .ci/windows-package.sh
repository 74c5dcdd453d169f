#!/usr/bin/env bash
# The Windows package: run from the repository root after the windows preset
# has been built. Makes the .zip with cpack, unpacks it, checks that it holds
# the programs, the manual pages as text and the README, that
# find_package(KestrinLortane) finds the unpacked programs, and that they run
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -f build-windows/kestrin-lortane-*.zip
(cd build-windows && cpack -G ZIP >/dev/null)
zip=$(echo build-windows/kestrin-lortane-*-windows-x64.zip)
[ -f "$zip" ] || {
  echo "cpack did not make the .zip" >&2
  exit 1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/kl-windows-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$OLDPWD/$zip")
root=$(echo "$work"/kestrin-lortane-*)
for file in bin/kestrin.exe bin/lortane.exe share/doc/kestrin-lortane/kestrin.txt \
  share/doc/kestrin-lortane/lortane.txt share/doc/kestrin-lortane/README.md \
  share/doc/kestrin-lortane/LICENSE lib/cmake/KestrinLortane/KestrinLortaneConfig.cmake; do
  [ -f "$root/$file" ] || {
    echo "the .zip has no $file" >&2
    exit 1
  }
done
grep -q "^NAME" "$root/share/doc/kestrin-lortane/kestrin.txt" || {
  echo "kestrin.txt is not the rendered manual page" >&2
  exit 1
}

mkdir "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.21)
project(consumer NONE)
find_package(KestrinLortane 1 REQUIRED)
get_target_property(kestrin KestrinLortane::kestrin IMPORTED_LOCATION_RELEASE)
message(STATUS "kestrin is ${kestrin}")
CMAKE
cmake -S "$work/consumer" -B "$work/consumer/build" "-DCMAKE_PREFIX_PATH=$root" >"$work/configure.log"
grep -qF "kestrin is $root/bin/kestrin.exe" "$work/configure.log" || {
  cat "$work/configure.log"
  echo "find_package did not find the unpacked kestrin.exe" >&2
  exit 1
}

export WINEPREFIX="$PWD/build-windows/wine-prefix" WINEDEBUG=-all
set +e
/usr/lib/wine/wine64 "$root/bin/kestrin.exe" >"$work/kestrin.out" 2>/dev/null
status=$?
set -e
[ "$status" = 1 ] && grep -q "^Kestrin Converter, Version" "$work/kestrin.out" || {
  echo "the unpacked kestrin.exe did not show its usage (status $status)" >&2
  exit 1
}
echo "windows package: $(basename "$zip") holds the programs, the pages and the CMake package"
