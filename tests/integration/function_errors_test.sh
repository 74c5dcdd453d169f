#!/usr/bin/env bash
# Checks the CMake functions where a user goes wrong or cross-compiles:
# pictures whose identifiers clash (with each other or with the C library's
# macros), a picture or text added twice, texts whose outputs would be the
# same file, a missing picture and a colour without a number fail at
# configure time in words that name the user's files and calls, a
# picture the tool rejects fails the build with the tool's own message and the
# user's path, KESTRIN_EXECUTABLE / LORTANE_EXECUTABLE choose the programs
# that run, with the colours as kestrin reads them, and a cross build whose
# tools cannot run here stops at configure time or runs them through its
# emulator. The project itself configures and generates as a cross build
# with a minimal toolchain (no CMAKE_SYSTEM_PROCESSOR).
#
# function_errors_test.sh <source root> <kestrin> <lortane> <make_sample_picture>
#                         <cmake> <C compiler> <kestrin-prepare>
set -euo pipefail
root=$1 kestrin=$2 lortane=$3 make_picture=$4 cmake=$5 cc=$6 prepare=$7

source "$(dirname "$0")/../support/work_folder.sh"

# Host tools as a cross build would name them: wrappers that log each call.
for tool in kestrin lortane kestrin-prepare; do
  real=$kestrin
  [ "$tool" = lortane ] && real=$lortane
  [ "$tool" = kestrin-prepare ] && real=$prepare
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls.log"\nexec "%s" "$@"\n' \
    "$tool" "$work" "$real" >"$work/host-$tool"
  chmod +x "$work/host-$tool"
done
# Found beside KESTRIN_EXECUTABLE, as an installation has it.
ln -s host-kestrin-prepare "$work/kestrin-prepare"

mkdir -p "$work/src/art"
cat >"$work/src/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(function_errors LANGUAGES C)
include("$root/cmake/KestrinLortaneFunctions.cmake")
# The programs as a package built for another machine would give them.
if(FOREIGN_TOOLS)
  foreach(tool kestrin lortane kestrin-prepare)
    add_executable(KestrinLortane::\${tool} IMPORTED)
    set_target_properties(KestrinLortane::\${tool} PROPERTIES
      IMPORTED_LOCATION "\${FOREIGN_TOOLS}-\${tool}" KESTRIN_LORTANE_BUILT_FOR "Windows/x86_64")
  endforeach()
endif()
add_executable(app main.c)
foreach(picture IN LISTS PICTURES)
  kestrin_add_header(app \${picture} \${PICTURE_OPTIONS})
endforeach()
lortane_add_source(app notes.txt VARIABLE notes)
# A case's further calls, from a file of its own.
if(EXTRA)
  include("\${EXTRA}")
endif()
CMAKE
cat >"$work/src/main.c" <<'C'
#include <stdint.h>
#include <stdio.h>
typedef uint32_t u32;
#include "good.bmp.h"
extern const char* notes[];
int main(void) {
  printf("%d %d %s\n", GOOD_WIDTH, GOOD_HEIGHT, notes[0]);
  return 0;
}
C
echo "a note" >"$work/src/notes.txt"
"$make_picture" "$work/src/good.bmp" 4 2
echo "not a picture" >"$work/src/bad.bmp"

flat() {  # CMake wraps its messages: compare them as one line
  tr '\n' ' ' <"$work/$1" | tr -s ' '
}
configure() {  # configure <log name> <pictures> [<options> [<further calls>]]
  printf '%s\n' "${4:-}" >"$work/extra.cmake"
  "$cmake" -S "$work/src" -B "$work/build" -G "Unix Makefiles" "-DCMAKE_C_COMPILER=$cc" \
    "-DKESTRIN_EXECUTABLE=$work/host-kestrin" "-DLORTANE_EXECUTABLE=$work/host-lortane" \
    "-DPICTURES=$2" "-DPICTURE_OPTIONS=${3:-}" "-DEXTRA=$work/extra.cmake" >"$work/$1" 2>&1
}

# Clashing identifiers: the defines (my-pic and my_pic), or only the arrays
# (logo and logo.old).
if configure clash_defines.log "art/my-pic.bmp;good.bmp;my_pic.bmp"; then
  fail "pictures with the same defines configured"
fi
flat clash_defines.log | grep -qF "$work/src/art/my-pic.bmp and $work/src/my_pic.bmp" ||
  fail "the clash does not name both pictures: $(cat "$work/clash_defines.log")"
flat clash_defines.log | grep -qF "the defines MY_PIC_WIDTH" || fail "the clash does not name the defines"
flat clash_defines.log | grep -qF "NAME my_pic_pic.bmp" || fail "the clash does not suggest NAME"
if configure clash_arrays.log "logo.bmp;good.bmp;logo.old.bmp"; then
  fail "pictures with the same array configured"
fi
flat clash_arrays.log | grep -qF "$work/src/logo.bmp and $work/src/logo.old.bmp" ||
  fail "the clash does not name both pictures: $(cat "$work/clash_arrays.log")"
flat clash_arrays.log | grep -qF "the array logo_Bitmap" || fail "the clash does not name the array"

# A define prefix of the C library, in any case; the same picture twice; a
# picture that does not exist and that nothing makes.
cp "$work/src/good.bmp" "$work/src/Size.bmp"
if configure library_name.log "good.bmp;Size.bmp"; then fail "Size.bmp configured"; fi
flat library_name.log | grep -qF "would define SIZE_WIDTH, a macro of <stdint.h> and <limits.h>" ||
  fail "Size.bmp is not refused for SIZE_WIDTH: $(cat "$work/library_name.log")"
flat library_name.log | grep -qF "NAME Size_pic.bmp" || fail "the refusal does not suggest NAME"
if configure twice.log "good.bmp;art/../good.bmp"; then fail "the same picture twice configured"; fi
flat twice.log | grep -qF "picture $work/src/good.bmp is added to target app twice" ||
  fail "the same picture twice is not named: $(cat "$work/twice.log")"
# Two calls whose outputs would be one file: a text's NAME with and without
# the extension, and a NAME that is another text's unit; the same text twice.
echo "another note" >"$work/src/other.txt"
lortane_clash() {  # lortane_clash <log name> <second NAME> <the file both make>
  if configure "$1" "good.bmp" "" "lortane_add_source(app notes.txt VARIABLE va NAME foo)
lortane_add_source(app other.txt VARIABLE vb NAME $2)"; then
    fail "two texts converted to one $3 configured"
  fi
  flat "$1" | grep -qF "lortane_add_source(app other.txt NAME $2 ...) in $work/extra.cmake would make $work/build/lortane_sources/app/$3, which lortane_add_source(app notes.txt NAME foo ...) in $work/extra.cmake makes already" ||
    fail "the clash over $3 does not name both calls: $(cat "$work/$1")"
}
lortane_clash clash_extension.log foo.c foo.c
lortane_clash clash_unit.log foo_unit foo_unit.c
if configure text_twice.log "good.bmp" "" "lortane_add_source(app notes.txt VARIABLE again)"; then
  fail "the same text twice configured"
fi
flat text_twice.log | grep -qF "text $work/src/notes.txt is added to target app twice" ||
  fail "the same text twice is not named: $(cat "$work/text_twice.log")"
if configure missing.log "good.bmp;art/missing.bmp"; then fail "a missing picture configured"; fi
flat missing.log | grep -qF "art/missing.bmp does not exist" ||
  fail "the missing picture is not named as written: $(cat "$work/missing.log")"
if configure colour.log "good.bmp" "MAGIC_PINK;KEY;green;REPLACEMENT;0"; then
  fail "a colour without a number configured"
fi
flat colour.log | grep -qF "KEY 'green' is not a colour" ||
  fail "the colour without a number is not named: $(cat "$work/colour.log")"

# A file that is no picture fails the build with kestrin-prepare's own words.
configure bad.log "good.bmp;bad.bmp" || fail "a valid configuration failed: $(cat "$work/bad.log")"
if "$cmake" --build "$work/build" >"$work/bad_build.log" 2>&1; then
  fail "a file that is no picture built"
fi
grep -qx "kestrin-prepare: $work/src/bad.bmp is neither a PNG nor a BMP" "$work/bad_build.log" ||
  fail "the failed build does not show kestrin-prepare's message: $(cat "$work/bad_build.log")"
flat bad_build.log | grep -qF "converting $work/src/bad.bmp: " ||
  fail "the failed build does not name the user's picture: $(cat "$work/bad_build.log")"
flat bad_build.log | grep -qF "failed (exit status 3)" || fail "the failed build does not give the status"
[ ! -e "$work/build/kestrin_headers/app/bad.bmp.h" ] || fail "a rejected picture left a header"

build_and_run() {  # build_and_run <log name>
  "$cmake" --build "$work/build" >"$work/$1" 2>&1 || fail "the build failed: $(cat "$work/$1")"
  [ "$("$work/build/app")" = "4 2 a note" ] || fail "the program did not see the header and the array"
}
expect_calls() {  # expect_calls <kestrin's command line> <lortane's command line>
  for call in "$@"; do
    grep -qxF "$call" "$work/calls.log" || fail "no '$call' among the tools' runs: $(cat "$work/calls.log")"
  done
}

# The host programs run, on bare file names, with the Magic Pink colours as
# kestrin reads them: trailing text ignored, a negative value wrapped.
rm -rf "$work/build" "$work/calls.log"
configure good.log "good.bmp" "MAGIC_PINK;KEY;0x00ff00zz;REPLACEMENT;-0x10" ||
  fail "a valid configuration failed: $(cat "$work/good.log")"
build_and_run good_build.log
expect_calls "kestrin -MP 0x00FF00 0xFFFFF0 good.bmp" "lortane notes notes.txt notes.txt.c" \
  "kestrin-prepare --key=0x00FF00 -- $work/src/good.bmp $work/build/kestrin_headers/app/good.bmp"

# A cross build (CMAKE_SYSTEM_NAME given) with the tools of another machine.
cross_configure() {  # cross_configure <log name> [<cmake argument>...]
  local log=$1
  shift
  rm -rf "$work/build" "$work/calls.log"
  "$cmake" -S "$work/src" -B "$work/build" -G "Unix Makefiles" "-DCMAKE_C_COMPILER=$cc" \
    -DCMAKE_SYSTEM_NAME=Linux "-DFOREIGN_TOOLS=$work/host" -DPICTURES=good.bmp "$@" >"$work/$log" 2>&1
}
if cross_configure cross.log; then fail "a cross build with tools it cannot run configured"; fi
flat cross.log | grep -qF "set KESTRIN_EXECUTABLE to the full path of a kestrin built for this machine" ||
  fail "the cross build does not say what to set: $(cat "$work/cross.log")"
printf '#!/bin/sh\necho "emulator $*" >>"%s/calls.log"\nexec "$@"\n' "$work" >"$work/emulator"
chmod +x "$work/emulator"
cross_configure emulated.log "-DCMAKE_CROSSCOMPILING_EMULATOR=$work/emulator" ||
  fail "a cross build with an emulator failed: $(cat "$work/emulated.log")"
build_and_run emulated_build.log
expect_calls "emulator $work/host-kestrin good.bmp" "emulator $work/host-lortane notes notes.txt notes.txt.c"
# A colour reads at configure time as kestrin reads it, to the last case.
colours=("0x00ff00zz" "-0x10" "+0x10" "0x" "077" "08" "99999999999" "0x1FFFFFFFFFFFFFFFF"
  "-0x1FFFFFFFFFFFFFFFF" "9223372036854775808" "-9223372036854775809" " 12z")
printf 'include("%s/cmake/KestrinLortaneFunctions.cmake")\n' "$root" >"$work/colours.cmake"
for colour in "${colours[@]}"; do
  printf '_kestrin_colour(KEY "%s" value)\nmessage("${value}")\n' "$colour" >>"$work/colours.cmake"
done
"$cmake" -P "$work/colours.cmake" >"$work/colours.log" 2>&1
i=0
while read -r configured; do
  line=$(cd "$work" && "$kestrin" -MP "${colours[$i]}" 0 missing.bmp | grep "Magic Pink") || true
  [[ $line =~ \(([0-9]+),([0-9]+),([0-9]+)\)\ - ]] ||
    fail "kestrin printed no colour for '${colours[$i]}'"
  read_by_kestrin=$(printf '0x%02X%02X%02X' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" \
    "${BASH_REMATCH[3]}")
  [ "$configured" = "$read_by_kestrin" ] ||
    fail "'${colours[$i]}' configures as $configured, kestrin reads $read_by_kestrin"
  i=$((i + 1))
done <"$work/colours.log"
[ "$i" -eq "${#colours[@]}" ] || fail "the colour script gave $i values: $(cat "$work/colours.log")"

# The project itself with the least a cross toolchain gives: configuring and
# generating record an empty processor in the package.
if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  echo "SKIP: the functions' errors as expected; no MinGW-w64 to configure the project as a cross build"
  exit 77
fi
(cd "$root" && "$cmake" -S . -B "$work/b" -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ \
  -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres) >"$work/minimal.log" 2>&1 ||
  fail "the project does not configure and generate with a minimal toolchain: $(cat "$work/minimal.log")"
grep -rqF 'KESTRIN_LORTANE_BUILT_FOR "Windows/"' "$work/b/CMakeFiles/Export" ||
  fail "the package does not record Windows with an empty processor"

echo "function errors: clashes, library names, repeats, missing input, colours, tool failure, host programs and cross builds as expected"
