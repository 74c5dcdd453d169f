#!/usr/bin/env bash
# The Windows package: run from the repository root after the windows preset
# has been built. Makes the .zip with cpack, unpacks it, checks that it holds
# the programs, the manual pages as text, the README and the documents, that
# find_package(KestrinLortane) finds the unpacked programs, that they run
# under Wine, and that the example consumer cross-built with the MinGW-w64
# toolchain finds the package as docs/build-integration.md says, runs the
# programs under Wine while it builds, and prints what it should; its preview,
# and those of a larger grainy picture, must be the bytes the Linux build
# (build/) makes of the same header.
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
for file in bin/kestrin.exe bin/lortane.exe bin/kestrin-preview.exe bin/kestrin-prepare.exe \
  share/doc/kestrin-lortane/kestrin.txt share/doc/kestrin-lortane/lortane.txt \
  share/doc/kestrin-lortane/kestrin-preview.txt share/doc/kestrin-lortane/kestrin-prepare.txt \
  share/doc/kestrin-lortane/README.md \
  share/doc/kestrin-lortane/docs/windows.md \
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
# Linked statically, zlib in kestrin-preview.exe included: each program needs
# no DLL but those Windows ships.
for exe in "$root"/bin/*.exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p'); do
    case $dll in
      ADVAPI32.dll | KERNEL32.dll | msvcrt.dll | SHELL32.dll) ;;
      *)
        echo "$(basename "$exe") needs $dll, which Windows does not ship" >&2
        exit 1
        ;;
    esac
  done
done

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

# Static, so that the helper program drawing the example's picture runs under
# Wine without the compiler's DLLs; one job at a time, as the first run of
# Wine makes the build's own Wine prefix.
cmake -S examples -B "$work/cross" --toolchain "$PWD/cmake/toolchains/mingw-w64-x86_64.cmake" \
  "-DKestrinLortane_DIR=$root/lib/cmake/KestrinLortane" -DCMAKE_EXE_LINKER_FLAGS=-static \
  >"$work/cross.log" 2>&1 && cmake --build "$work/cross" >>"$work/cross.log" 2>&1 || {
  cat "$work/cross.log"
  echo "the example consumer does not cross-build with the unpacked package" >&2
  exit 1
}
(cd "$work/cross" && /usr/lib/wine/wine64 ./show_assets.exe) | tr -d '\r' |
  diff -u tests/integration/show_assets_expected.txt - || {
  echo "the cross-built example printed other text" >&2
  exit 1
}
# Its PREVIEW: kestrin-preview.exe, run under Wine, made the gem's PNG, the
# same bytes as the Linux build's kestrin-preview makes of that header.
gem=$work/cross/kestrin_headers/show_assets/gem.bmp.h
build/kestrin/preview/kestrin-preview --transparent "$gem" "$work/gem.png" &&
  cmp "$gem.png" "$work/gem.png" || {
  echo "the cross-built example's preview is not the one the Linux build makes" >&2
  exit 1
}
# A grainy picture of more colours than a palette holds, large enough for
# the writer to change its strategy, alone and compared: kestrin-preview.exe
# writes the Linux build's bytes, and pngcheck takes them.
python3 - "$work/grain.bmp" <<'PYTHON'
import struct, sys
width, height, state, rows = 512, 256, 1, bytearray()
for y in range(height):
    for x in range(width):
        for base in (x // 2, y, (x + y) // 4):
            state = (state * 1103515245 + 12345) % 2**31
            rows.append(min(255, base + state % 32))
head = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(rows), 0, 0, 54, 40, width, height,
                   1, 24, 0, len(rows), 0, 0, 0, 0)
open(sys.argv[1], "wb").write(head + rows)
PYTHON
(cd "$work" && "$OLDPWD/build/kestrin/kestrin" -MP grain.bmp >/dev/null)
for options in "--transparent" "--scale 2 --compare grain.bmp"; do
  # shellcheck disable=SC2086
  (cd "$work" && "$OLDPWD/build/kestrin/preview/kestrin-preview" $options grain.bmp.h linux.png &&
    /usr/lib/wine/wine64 "$root/bin/kestrin-preview.exe" $options grain.bmp.h wine.png) >/dev/null &&
    cmp "$work/linux.png" "$work/wine.png" && pngcheck -q "$work/wine.png" || {
    echo "kestrin-preview.exe $options does not write the Linux build's PNG" >&2
    exit 1
  }
done
echo "windows package: $(basename "$zip") holds the programs, the pages and the CMake package, which a cross build uses"
