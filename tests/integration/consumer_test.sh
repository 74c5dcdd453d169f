#!/usr/bin/env bash
# Builds and runs the example consumer in examples/ against this project, either
# added with add_subdirectory (build-tree) or installed into a temporary prefix
# and found with find_package (installed). Checks the program's output, that the
# generated files name only bare file names, that the source tree is left
# alone, that exactly the outputs whose inputs or tools changed are
# regenerated, and that tools built along are optimised although the consumer
# sets no build type.
#
# consumer_test.sh build-tree|installed <source root> <project build dir>
#                  <expected output> <cmake> <C compiler> <C++ compiler>
set -euo pipefail
mode=$1 root=$2 project_build=$3 expected=$4 cmake=$5 cc=$6 cxx=$7

source "$(dirname "$0")/../support/work_folder.sh"

# A copy of the consumer's sources, so the test may touch them, and a record
# of it to show that the build writes nothing there.
cp -R "$root/examples" "$work/src"
source_listing=$(cd "$work/src" && find . | sort)

case $mode in
  build-tree)
    configure_args=("-DKESTRIN_LORTANE_SOURCE_DIR=$root")
    kestrin_tool=$work/build/kestrin_lortane/kestrin/kestrin
    ;;
  installed)
    "$cmake" --install "$project_build" --prefix "$work/prefix" >"$work/install.log"
    for installed in bin/kestrin bin/lortane share/man/man1/kestrin.1 share/man/man1/lortane.1 \
      lib/cmake/KestrinLortane/KestrinLortaneConfig.cmake \
      lib/cmake/KestrinLortane/KestrinLortaneConfigVersion.cmake \
      lib/cmake/KestrinLortane/KestrinLortaneFunctions.cmake; do
      [ -f "$work/prefix/$installed" ] || fail "cmake --install did not install $installed"
    done
    for page in kestrin lortane; do
      MANWIDTH=80 man -l "$work/prefix/share/man/man1/$page.1" >"$work/$page.txt" 2>"$work/man.err"
      [ ! -s "$work/man.err" ] || fail "man $page.1 warns: $(cat "$work/man.err")"
      for heading in NAME SYNOPSIS DESCRIPTION MESSAGES "EXIT STATUS" FILES EXAMPLES; do
        grep -q "^$heading" "$work/$page.txt" || fail "$page.1 has no $heading section"
      done
    done
    configure_args=("-DCMAKE_PREFIX_PATH=$work/prefix")
    kestrin_tool=$work/prefix/bin/kestrin
    ;;
  *) fail "unknown mode $mode" ;;
esac

"$cmake" -S "$work/src" -B "$work/build" -G "Unix Makefiles" \
  "-DCMAKE_C_COMPILER=$cc" "-DCMAKE_CXX_COMPILER=$cxx" "${configure_args[@]}" \
  >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log"
  fail "the consumer does not configure"
}

if [ "$mode" = build-tree ]; then
  flags() { grep -h '^C[X]*_FLAGS' "$work/build/$1/flags.make"; }
  flags kestrin_lortane/kestrin/CMakeFiles/kestrin.dir | grep -q -- ' -O[1-9s]' ||
    fail "kestrin is built without optimisation: $(flags kestrin_lortane/kestrin/CMakeFiles/kestrin.dir)"
  flags kestrin_lortane/lortane/CMakeFiles/lortane.dir | grep -q -- ' -O[1-9s]' ||
    fail "lortane is built without optimisation"
  if flags CMakeFiles/show_assets.dir | grep -q -- '-O'; then
    fail "the consumer's own program took the tools' optimisation"
  fi
fi

header=$work/build/kestrin_headers/show_assets/gem.bmp.h
array=$work/build/lortane_sources/show_assets/sample.txt.c
build() {  # build <log name>: builds the consumer, keeping what make printed
  "$cmake" --build "$work/build" -j2 >"$work/$1" 2>&1 || {
    cat "$work/$1"
    fail "the consumer does not build ($1)"
  }
}
expect_conversions() {  # expect_conversions <log name> <"kestrin" or ""> <"lortane" or "">
  local log=$work/$1
  if [ -n "$2" ]; then grep -q "Converting gem.bmp with kestrin" "$log" || fail "$1: header not regenerated"; fi
  if [ -z "$2" ] && grep -q "Converting gem.bmp" "$log"; then fail "$1: header regenerated needlessly"; fi
  if [ -n "$3" ]; then grep -q "Converting sample.txt with lortane" "$log" || fail "$1: array not regenerated"; fi
  if [ -z "$3" ] && grep -q "Converting sample.txt" "$log"; then fail "$1: array regenerated needlessly"; fi
  return 0
}
check_output() {
  (cd "$work" && ./build/show_assets) >"$work/output.txt" || fail "show_assets failed"
  diff -u "$expected" "$work/output.txt" || fail "show_assets printed other text than $expected"
}

build first.log
expect_conversions first.log kestrin lortane
# Successful conversions stay quiet; the tools' narration is for failures.
if grep -q "Converter, Version" "$work/first.log"; then fail "a successful conversion printed the banner"; fi
# The PNG's report names the key colour's trap in the build log.
grep -qF "ship.bmp, 34 x 20 pixels, a column of the key added; 9 of 680 pixels are the key colour alone in their pair" \
  "$work/first.log" || fail "the build log does not give ship.png's report: $(cat "$work/first.log")"
check_output
grep -qx " \* File  : gem.bmp" "$header" || fail "the header's comment is not the bare file name"
grep -qx "// This file automatically generated from: sample.txt" "$array" ||
  fail "the array's comment is not the bare file name"
[ "$(cd "$work/src" && find . | sort)" = "$source_listing" ] || fail "the build wrote into the source tree"

header_time=$(stat -c %y "$header")
build unchanged.log
expect_conversions unchanged.log "" ""
[ "$(stat -c %y "$header")" = "$header_time" ] || fail "a build with nothing changed rewrote the header"

touch "$work/build/gem.bmp"
build picture_touched.log
expect_conversions picture_touched.log kestrin ""
[ "$(stat -c %y "$header")" != "$header_time" ] || fail "touching the picture left the header as it was"

touch "$work/src/sample.txt"
build text_touched.log
expect_conversions text_touched.log "" lortane

touch "$kestrin_tool"
build tool_touched.log
expect_conversions tool_touched.log kestrin ""

build settled.log
expect_conversions settled.log "" ""
check_output
echo "consumer ($mode): output, bare names and regeneration as expected"
