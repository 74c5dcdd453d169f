#!/usr/bin/env bash
# Builds consumers of the installed package that use the functions' options,
# in projects that set no CMake policies at all (no cmake_minimum_required):
# find_package in one folder and the functions in a sibling, a static library
# handing on PUBLIC declarations of two pictures of the same file name (NAME)
# to a C and a C++ source, an INTERFACE library of pictures (one made by a
# custom command declared after the call), a text under a qualified C++ name,
# OUTPUT_VARIABLE, and a C++-only project configured as a cross build for
# this same machine (the package's programs, made for it, run without an
# emulator). Checks what the program prints, and that a picture's new size
# reaches every source while its unchanged size recompiles none of them.
#
# function_features_test.sh <project build dir> <make_sample_picture> <cmake>
#                           <C compiler> <C++ compiler>
set -euo pipefail
project_build=$1 make_picture=$2 cmake=$3 cc=$4 cxx=$5

source "$(dirname "$0")/../support/work_folder.sh"

"$cmake" --install "$project_build" --prefix "$work/prefix" >"$work/install.log"

src=$work/src
mkdir -p "$src/assets/icons" "$src/art/a" "$src/art/b" "$src/game"
"$make_picture" "$src/art/a/logo.bmp" 4 2
"$make_picture" "$src/art/b/logo.bmp" 6 2
"$make_picture" "$src/assets/icons/icon.bmp" 8 4
echo "Press F1" >"$src/help.txt"

cat >"$src/CMakeLists.txt" <<'CMAKE'
project(features LANGUAGES C CXX)
add_subdirectory(assets)
add_subdirectory(game)
CMAKE
cat >"$src/assets/CMakeLists.txt" <<'CMAKE'
find_package(KestrinLortane 1 REQUIRED)
add_library(assets STATIC)
kestrin_add_header(assets ../art/a/logo.bmp NAME logo_a.bmp PUBLIC DECLARATIONS
                   OUTPUT_VARIABLE logo_a_files)
kestrin_add_header(assets ../art/b/logo.bmp NAME logo_b.bmp PUBLIC DECLARATIONS)
add_library(icons INTERFACE)
kestrin_add_header(icons icons/icon.bmp)
# A picture that a custom command declared after the call makes.
kestrin_add_header(icons "${CMAKE_CURRENT_BINARY_DIR}/drawn.bmp")
add_custom_command(OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/drawn.bmp"
  COMMAND "${MAKE_PICTURE}" drawn.bmp 2 2 VERBATIM)
file(WRITE "${CMAKE_BINARY_DIR}/outputs.txt" "${logo_a_files}\n")
CMAKE
cat >"$src/game/CMakeLists.txt" <<'CMAKE'
add_executable(game main.c other.cpp)
target_link_libraries(game PRIVATE assets icons)
lortane_add_source(game ../help.txt VARIABLE assets::help LANGUAGE CXX OUTPUT_VARIABLE help_file)
file(APPEND "${CMAKE_BINARY_DIR}/outputs.txt" "${help_file}\n")
CMAKE
cat >"$src/game/main.c" <<'C'
#include <stdint.h>
#include <stdio.h>
typedef uint32_t u32;
#include "logo_a.bmp.decl.h"
#include "logo_b.bmp.decl.h"
#include "icon.bmp.h"
#include "drawn.bmp.h"
void print_from_cpp(void);
int main(void) {
  printf("C: logo_a %d x %d, logo_b %d x %d (%d), icon %d x %d 0x%08X, drawn %d\n", LOGO_A_WIDTH,
         LOGO_A_HEIGHT, LOGO_B_WIDTH, LOGO_B_HEIGHT, LOGO_B_SIZE, ICON_WIDTH, ICON_HEIGHT,
         (unsigned)icon_Bitmap[0], DRAWN_SIZE);
  print_from_cpp();
  return 0;
}
C
cat >"$src/game/other.cpp" <<'CPP'
#include <cstdint>
#include <cstdio>
typedef std::uint32_t u32;
#include "logo_a.bmp.decl.h"
namespace assets { extern const char* help[]; }
extern "C" void print_from_cpp() {
  std::printf("C++: logo_a %d words, last 0x%08X, help \"%s\"\n", LOGO_A_SIZE / 2,
              static_cast<unsigned>(logo_a_Bitmap[LOGO_A_SIZE / 2 - 1]), assets::help[0]);
}
CPP

"$cmake" -S "$src" -B "$work/build" -G "Unix Makefiles" "-DCMAKE_PREFIX_PATH=$work/prefix" \
  "-DMAKE_PICTURE=$make_picture" "-DCMAKE_C_COMPILER=$cc" "-DCMAKE_CXX_COMPILER=$cxx" >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log"
  fail "the consumer without policies does not configure"
}
# CMake places each warning and error at a file: none may be the package's.
if grep -q "lib/cmake/KestrinLortane" "$work/configure.log"; then
  cat "$work/configure.log"
  fail "the package warns in a project without policies"
fi

build() {  # build <log name>
  "$cmake" --build "$work/build" -j2 >"$work/$1" 2>&1 || {
    cat "$work/$1"
    fail "the consumer does not build ($1)"
  }
}
expect_output() {
  "$work/build/game/game" >"$work/output.txt" || fail "game failed"
  printf '%s\n' "$@" | diff -u - "$work/output.txt" || fail "game printed other text"
}

build first.log
expect_output "C: logo_a 4 x 2, logo_b 6 x 2 (12), icon 8 x 4 0x69D469EA, drawn 4" \
  'C++: logo_a 4 words, last 0x69D469EA, help "Press F1"'
headers=$work/build/assets/kestrin_headers/assets
printf '%s\n' "$headers/logo_a.bmp.h;$headers/logo_a.bmp.decl.h;$headers/logo_a.bmp.c" \
  "$work/build/game/lortane_sources/game/help.txt.c" | diff -u - "$work/build/outputs.txt" ||
  fail "OUTPUT_VARIABLE does not hold the generated files"
while IFS= read -r file; do
  [ -f "$file" ] || fail "OUTPUT_VARIABLE names $file, which the build did not make"
done < <(tr ';' '\n' <"$work/build/outputs.txt")

# The same size: the picture is converted again, its declarations stay, so
# only the array's own source is compiled again.
touch "$src/art/a/logo.bmp"
build touched.log
grep -q "Converting logo_a.bmp" "$work/touched.log" || fail "the touched picture was not converted"
if grep -qE "Building .*(main.c|other.cpp)" "$work/touched.log"; then
  fail "a picture of unchanged size recompiled the sources that use its declarations"
fi

# A new size reaches the C and the C++ source.
"$make_picture" "$src/art/a/logo.bmp" 10 2
build resized.log
expect_output "C: logo_a 10 x 2, logo_b 6 x 2 (12), icon 8 x 4 0x69D469EA, drawn 4" \
  'C++: logo_a 10 words, last 0x69D469EA, help "Press F1"'

# A C++-only project: the array and the picture's definition compile as C++.
# CMAKE_SYSTEM_NAME makes it a cross build.
mkdir "$work/cxx"
cp "$src/art/b/logo.bmp" "$src/help.txt" "$work/cxx/"
cat >"$work/cxx/CMakeLists.txt" <<'CMAKE'
project(cxx_only LANGUAGES CXX)
find_package(KestrinLortane 1 REQUIRED)
add_executable(show main.cpp)
kestrin_add_header(show logo.bmp DECLARATIONS)
lortane_add_source(show help.txt VARIABLE assets::help LANGUAGE CXX)
CMAKE
cat >"$work/cxx/main.cpp" <<'CPP'
#include <cstdint>
#include <cstdio>
typedef std::uint32_t u32;
#include "logo.bmp.decl.h"
namespace assets { extern const char* help[]; }
int main() { std::printf("%d 0x%08X %s\n", LOGO_WIDTH, static_cast<unsigned>(logo_Bitmap[0]), assets::help[0]); }
CPP
"$cmake" -S "$work/cxx" -B "$work/cxx-build" -G "Unix Makefiles" "-DCMAKE_PREFIX_PATH=$work/prefix" \
  -DCMAKE_SYSTEM_NAME=Linux \
  "-DCMAKE_CXX_COMPILER=$cxx" >"$work/cxx.log" 2>&1 &&
  "$cmake" --build "$work/cxx-build" -j2 >>"$work/cxx.log" 2>&1 || {
  cat "$work/cxx.log"
  fail "the C++-only project does not build"
}
[ "$("$work/cxx-build/show")" = "6 0x69D469EA Press F1" ] || fail "the C++-only program printed $("$work/cxx-build/show")"
echo "function features: scopes, NAME, DECLARATIONS, LANGUAGE CXX and OUTPUT_VARIABLE as expected"
