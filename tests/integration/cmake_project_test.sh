#!/usr/bin/env bash
# Builds the complete CMake projects of docs/build-integration.md as they
# stand, with a picture and a text of the names they use: "A complete
# project" (its cmake and c blocks as CMakeLists.txt and main.c) against the
# installed package, and "A picture in several sources" (its cmake block, and
# each c block as the file its first line names), whose FetchContent
# declaration takes this source tree through
# FETCHCONTENT_SOURCE_DIR_KESTRIN_LORTANE, as the document says.
#
# cmake_project_test.sh <source root> <project build dir> <make_sample_picture>
#                       <cmake> <C compiler> <C++ compiler>
set -euo pipefail
root=$1 project_build=$2 make_picture=$3 cmake=$4 cc=$5 cxx=$6
markdown=$root/docs/build-integration.md

source "$(dirname "$0")/../support/work_folder.sh"

# Writes the fenced blocks of subsection "### $1" to $2/<n>.<language>.
extract() {
  mkdir -p "$2"
  awk -v section="### $1" -v out="$2" '
    /^##/ && !block { inside = ($0 == section); next }
    inside && !block && /^```/ { block = substr($0, 4); n++; next }
    block && /^```/ { block = ""; next }
    inside && block { print > (out "/" n "." block) }' "$markdown"
}
build() {  # build <folder> [<cmake argument>...]: configures and builds <folder>/src
  local folder=$1
  shift
  "$cmake" -S "$folder/src" -B "$folder/build" -G "Unix Makefiles" "-DCMAKE_C_COMPILER=$cc" \
    "-DCMAKE_CXX_COMPILER=$cxx" "$@" >"$folder/build.log" 2>&1 &&
    "$cmake" --build "$folder/build" -j2 >>"$folder/build.log" 2>&1 || {
    cat "$folder/build.log"
    fail "the project in $folder does not build as pasted"
  }
}

extract "A complete project" "$work/blocks"
mkdir -p "$work/complete/src/art"
cp "$work/blocks/1.cmake" "$work/complete/src/CMakeLists.txt" &&
  cp "$work/blocks/2.c" "$work/complete/src/main.c" ||
  fail "no cmake block and c block in \"A complete project\" of $markdown"
"$make_picture" "$work/complete/src/art/sprite.bmp" 4 2
printf 'Made by us\nThanks to you\n' >"$work/complete/src/credits.txt"
"$cmake" --install "$project_build" --prefix "$work/prefix" >"$work/install.log"
build "$work/complete" "-DCMAKE_PREFIX_PATH=$work/prefix"
printf '%s\n' "sprite: 4 x 2, first word 0x69D469EA" "Made by us" "Thanks to you" |
  diff -u - <("$work/complete/build/game") || fail "the complete project printed other text"

extract "A picture in several sources" "$work/several"
mkdir -p "$work/fetched/src/art"
mv "$work/several/1.cmake" "$work/fetched/src/CMakeLists.txt" ||
  fail "no cmake block in \"A picture in several sources\" of $markdown"
for block in "$work/several"/*.c; do
  name=$(sed -n '1s|^/\* \([a-z]*\.c\) \*/$|\1|p' "$block")
  [ -n "$name" ] || fail "a c block of \"A picture in several sources\" names no file"
  cp "$block" "$work/fetched/src/$name"
done
"$make_picture" "$work/fetched/src/art/sprite.bmp" 4 2
build "$work/fetched" "-DFETCHCONTENT_SOURCE_DIR_KESTRIN_LORTANE=$root"
printf '%s\n' "sprite: 4 x 2" "hud: first word 0x69D469EA" |
  diff -u - <("$work/fetched/build/game") || fail "the project that fetches the tools printed other text"
echo "$(basename "$markdown"): both complete CMake projects build and run as pasted"
