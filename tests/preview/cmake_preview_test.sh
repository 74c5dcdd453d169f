#!/usr/bin/env bash
# kestrin_add_header(... PREVIEW) from an installed package: the preview is
# made beside the header with the build, with --transparent and the key under
# MAGIC_PINK, equal to what the installed kestrin-preview makes by hand, named
# in OUTPUT_VARIABLE, and made again when the picture changes.
#
# cmake_preview_test.sh <project build dir> <make_sample_picture> <cmake> <C compiler>
set -euo pipefail
project_build=$1 make_picture=$2 cmake=$3 cc=$4

source "$(dirname "$0")/../support/work_folder.sh"

"$cmake" --install "$project_build" --prefix "$work/prefix" >"$work/install.log"
mkdir "$work/src"
"$make_picture" "$work/src/gem.bmp" 6 4
cat >"$work/src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.21)
project(preview_consumer C)
find_package(KestrinLortane 1 REQUIRED)
add_executable(game main.c)
kestrin_add_header(game gem.bmp MAGIC_PINK KEY 0xFF00FF REPLACEMENT 0x101010 PREVIEW
                   OUTPUT_VARIABLE gem_files)
kestrin_add_header(game gem.bmp NAME plain.bmp PREVIEW)
file(WRITE "${CMAKE_BINARY_DIR}/outputs.txt" "${gem_files}")
CMAKE
printf 'int main(void) { return 0; }\n' >"$work/src/main.c"
"$cmake" -S "$work/src" -B "$work/build" "-DCMAKE_PREFIX_PATH=$work/prefix" "-DCMAKE_C_COMPILER=$cc" \
  >"$work/configure.log" 2>&1 || fail "configure failed: $(cat "$work/configure.log")"
"$cmake" --build "$work/build" >"$work/build.log" 2>&1 || fail "build failed: $(cat "$work/build.log")"

folder=$work/build/kestrin_headers/game
[ "$(cat "$work/build/outputs.txt")" = "$folder/gem.bmp.h;$folder/gem.bmp.h.png" ] ||
  fail "OUTPUT_VARIABLE holds $(cat "$work/build/outputs.txt")"
preview=$work/prefix/bin/kestrin-preview
"$preview" --transparent=0xFF00FF "$folder/gem.bmp.h" "$work/by-hand.png"
cmp "$folder/gem.bmp.h.png" "$work/by-hand.png" || fail "the preview differs from kestrin-preview's own"
"$preview" "$folder/plain.bmp.h" "$work/plain-by-hand.png"
cmp "$folder/plain.bmp.h.png" "$work/plain-by-hand.png" ||
  fail "the preview without MAGIC_PINK differs from kestrin-preview's own"

"$make_picture" "$work/src/gem.bmp" 8 4
"$cmake" --build "$work/build" >"$work/rebuild.log" 2>&1 || fail "rebuild failed: $(cat "$work/rebuild.log")"
grep -q "Previewing gem.bmp.h" "$work/rebuild.log" || fail "a new picture did not remake its preview"
"$preview" --transparent=0xFF00FF "$folder/gem.bmp.h" "$work/by-hand.png"
cmp "$folder/gem.bmp.h.png" "$work/by-hand.png" || fail "the remade preview is not the new picture's"
echo "PREVIEW: made with the build, as kestrin-preview makes it, and remade after a change"
