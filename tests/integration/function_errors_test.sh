#!/usr/bin/env bash
# Checks the CMake functions where a user goes wrong or cross-compiles:
# pictures whose identifiers clash (with each other or with the C library's
# macros), a picture added twice and a missing picture fail at configure time
# in words that name the user's files, a picture the tool rejects fails the
# build with the tool's own message and the user's path, and
# KESTRIN_EXECUTABLE / LORTANE_EXECUTABLE choose the programs that run.
#
# function_errors_test.sh <source root> <kestrin> <lortane> <make_sample_picture>
#                         <cmake> <C compiler>
set -euo pipefail
root=$1 kestrin=$2 lortane=$3 make_picture=$4 cmake=$5 cc=$6

work=$(mktemp -d "${TMPDIR:-/tmp}/kl-integration-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Host tools as a cross build would name them: wrappers that log each call.
for tool in kestrin lortane; do
  real=$kestrin
  [ "$tool" = lortane ] && real=$lortane
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls.log"\nexec "%s" "$@"\n' \
    "$tool" "$work" "$real" >"$work/host-$tool"
  chmod +x "$work/host-$tool"
done

mkdir -p "$work/src/art"
cat >"$work/src/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(function_errors LANGUAGES C)
include("$root/cmake/KestrinLortaneFunctions.cmake")
add_executable(app main.c)
foreach(picture IN LISTS PICTURES)
  kestrin_add_header(app \${picture} \${PICTURE_OPTIONS})
endforeach()
lortane_add_source(app notes.txt VARIABLE notes)
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
configure() {  # configure <log name> <pictures> [<options>]
  "$cmake" -S "$work/src" -B "$work/build" -G "Unix Makefiles" "-DCMAKE_C_COMPILER=$cc" \
    "-DKESTRIN_EXECUTABLE=$work/host-kestrin" "-DLORTANE_EXECUTABLE=$work/host-lortane" \
    "-DPICTURES=$2" "-DPICTURE_OPTIONS=${3:-}" >"$work/$1" 2>&1
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
if configure missing.log "good.bmp;art/missing.bmp"; then fail "a missing picture configured"; fi
flat missing.log | grep -qF "art/missing.bmp does not exist" ||
  fail "the missing picture is not named as written: $(cat "$work/missing.log")"

# A picture kestrin rejects fails the build with kestrin's own words.
configure bad.log "good.bmp;bad.bmp" || fail "a valid configuration failed: $(cat "$work/bad.log")"
if "$cmake" --build "$work/build" >"$work/bad_build.log" 2>&1; then
  fail "a picture kestrin rejects built"
fi
grep -qx "Header error: bad type (0x6f6e)" "$work/bad_build.log" ||
  fail "the failed build does not show kestrin's message: $(cat "$work/bad_build.log")"
flat bad_build.log | grep -qF "converting $work/src/bad.bmp: " ||
  fail "the failed build does not name the user's picture: $(cat "$work/bad_build.log")"
flat bad_build.log | grep -qF "failed (exit status 3)" || fail "the failed build does not give the status"
[ ! -e "$work/build/kestrin_headers/app/bad.bmp.h" ] || fail "a rejected picture left a header"

# The host programs run, on bare file names, with the Magic Pink colours.
rm -rf "$work/build" "$work/calls.log"
configure good.log "good.bmp" "MAGIC_PINK;KEY;0x00FF00;REPLACEMENT;0x101010" ||
  fail "a valid configuration failed: $(cat "$work/good.log")"
"$cmake" --build "$work/build" >"$work/good_build.log" 2>&1 ||
  fail "the build failed: $(cat "$work/good_build.log")"
[ "$("$work/build/app")" = "4 2 a note" ] || fail "the program did not see the header and the array"
grep -qx "kestrin -MP 0x00FF00 0x101010 good.bmp" "$work/calls.log" ||
  fail "KESTRIN_EXECUTABLE was not run as expected: $(cat "$work/calls.log")"
grep -qx "lortane notes notes.txt notes.txt.c" "$work/calls.log" ||
  fail "LORTANE_EXECUTABLE was not run as expected: $(cat "$work/calls.log")"
echo "function errors: clashes, library names, repeats, missing input, tool failure and host programs as expected"
