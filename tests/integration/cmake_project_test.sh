#!/usr/bin/env bash
# Builds the complete CMake project of docs/build-integration.md as it
# stands: the CMakeLists.txt (the "CMake" section's block that calls
# cmake_minimum_required) and the C block after it are copied out, with a
# picture and a text of the names they use, and built against the installed
# package.
#
# cmake_project_test.sh <markdown file> <project build dir> <make_sample_picture>
#                       <cmake> <C compiler>
set -euo pipefail
markdown=$1 project_build=$2 make_picture=$3 cmake=$4 cc=$5

source "$(dirname "$0")/../support/work_folder.sh"

mkdir -p "$work/src/art"
# The first cmake block with cmake_minimum_required is CMakeLists.txt, the
# first c block after it main.c.
awk -v out="$work/src" '
  /^## CMake$/ { section = 1; next }
  /^## / { section = 0 }
  !section { next }
  block && /^```/ {
    if (block == "cmake" && !cmake && text ~ /(^|\n)cmake_minimum_required/) {
      printf "%s", text > (out "/CMakeLists.txt"); cmake = 1
    } else if (block == "c" && cmake && !c) {
      printf "%s", text > (out "/main.c"); c = 1
    }
    block = ""; next
  }
  !block && /^```/ { block = substr($0, 4); text = ""; next }
  block { text = text $0 "\n" }' "$markdown"
[ -s "$work/src/CMakeLists.txt" ] && [ -s "$work/src/main.c" ] ||
  fail "no complete project (a cmake block with cmake_minimum_required, then a c block) in $markdown"

"$make_picture" "$work/src/art/sprite.bmp" 4 2
printf 'Made by us\nThanks to you\n' >"$work/src/credits.txt"
"$cmake" --install "$project_build" --prefix "$work/prefix" >"$work/install.log"
"$cmake" -S "$work/src" -B "$work/build" -G "Unix Makefiles" "-DCMAKE_PREFIX_PATH=$work/prefix" \
  "-DCMAKE_C_COMPILER=$cc" >"$work/build.log" 2>&1 &&
  "$cmake" --build "$work/build" -j2 >>"$work/build.log" 2>&1 || {
  cat "$work/build.log"
  fail "the documented project does not build as pasted"
}
printf '%s\n' "sprite: 4 x 2, first word 0x69D469EA" "Made by us" "Thanks to you" |
  diff -u - <("$work/build/game") || fail "the documented program printed other text"
echo "$(basename "$markdown"): the complete CMake project builds and runs as pasted"
