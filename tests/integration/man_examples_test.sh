#!/usr/bin/env bash
# Runs the EXAMPLES of both manual pages as printed: every kestrin or lortane
# command line is run on inputs of the names it uses, every C program is
# compiled with the warnings as errors, run, and must print what its text
# promises (the picture's size, the help text's lines), and the ImageMagick
# recipe, where ImageMagick is installed, must make a picture of odd width
# one that kestrin takes.
#
# man_examples_test.sh <man folder> <kestrin> <lortane> <make_sample_picture> <C compiler>
set -euo pipefail
man=$1 kestrin=$2 lortane=$3 make_picture=$4 cc=$5

source "$(dirname "$0")/../support/work_folder.sh"

# Writes each .nf/.fi block of the EXAMPLES section of page $1 to
# $work/<page>.<n>, with the roff escapes the pages use undone.
extract() {
  awk -v out="$work/$1" '
    /^\.SH / { examples = ($0 ~ /^\.SH EXAMPLES/) }
    examples && /^\.nf/ { block = 1; n++; next }
    block && /^\.fi/ { block = 0; close(out "." n); next }
    block { print > (out "." n) }' "$man/$1.1"
  sed -i -e 's/\\-/-/g' -e 's/\\(dq/"/g' -e "s/\\\\(aq/'/g" -e 's/\\f[BIPR]//g' -e 's/\\e/\\/g' "$work/$1".*
}
extract kestrin
extract lortane

cd "$work"
mkdir art
"$make_picture" sprite.bmp 6 4
"$make_picture" art/tiles.bmp 4 2
printf 'Usage: game [options]\n\t-h  this help\n' >help.txt

programs=0
for block in kestrin.* lortane.*; do
  first=$(head -n 1 "$block")
  case $first in
    "kestrin "* | "lortane "*)
      set -- $first
      tool=$kestrin
      [ "$1" = lortane ] && tool=$lortane
      shift
      "$tool" "$@" >"$block.log" || fail "'$first' failed: $(cat "$block.log")"
      ;;
    "#include"*)
      cp "$block" "$block.c"
      "$cc" -std=c99 -Wall -Wextra -pedantic -Werror -o "$block.program" "$block.c" ||
        fail "the example in $block does not compile: $(cat "$block")"
      "./$block.program" >"$block.out" || fail "the example in $block failed"
      programs=$((programs + 1))
      ;;
    "set -- "*)
      command -v convert >/dev/null || continue
      mkdir "$block.dir"
      (cd "$block.dir" && convert -size 5x3 xc:none sprite.png && bash "../$block" &&
        "$kestrin" -MP sprite.bmp) >"$block.log" 2>&1 || fail "the recipe in $block failed: $(cat "$block.log")"
      grep -qx " \* Width : 6" "$block.dir/sprite.bmp.h" || fail "the recipe did not pad the width to 6"
      ;;
  esac
done
[ "$programs" = 2 ] || fail "expected one C program in each page, found $programs"
[ -f art/tiles.bmp.h ] || fail "kestrin's second example wrote no header"
[ "$(cat kestrin.*.out)" = "6 x 4" ] || fail "kestrin's example printed $(cat kestrin.*.out)"
diff -u help.txt lortane.*.out || fail "lortane's example did not print the help text back"
echo "manual pages: every example runs and compiles as printed"
