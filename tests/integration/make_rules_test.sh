#!/usr/bin/env bash
# Runs the documented Makefile as it stands: the block is copied out of the
# "Make" section of docs/build-integration.md into an empty folder with the
# files it names, and make must build a program that sees the picture and the
# text, rebuild only after the picture changes, name arrays validly after
# texts whose names are not C identifiers, make a PNG's BMP and header, and
# stop when a conversion fails.
#
# make_rules_test.sh <markdown file> <kestrin> <lortane> <make_sample_picture> <C compiler>
#                    <kestrin-prepare>
set -euo pipefail
markdown=$1 kestrin=$2 lortane=$3 make_picture=$4 cc=$5 prepare=$6

source "$(dirname "$0")/../support/work_folder.sh"

awk '/^## Make$/ { section = 1; next }
     /^## / { section = 0 }
     section && /^```make/ { block = 1; next }
     block && /^```/ { exit }
     block { print }' "$markdown" >"$work/Makefile"
[ -s "$work/Makefile" ] || fail "$markdown has no Makefile in a \"Make\" section"

"$make_picture" "$work/sprite.bmp" 4 2
printf 'Thanks to "everyone"\n' >"$work/credits.txt"
cat >"$work/main.c" <<'C'
#include <stdint.h>
#include <stdio.h>
typedef uint32_t u32;
#include "sprite.bmp.h"
extern const char* credits[];
int main(void) {
  printf("%dx%d 0x%08X %s\n", SPRITE_WIDTH, SPRITE_HEIGHT, (unsigned)sprite_Bitmap[0], credits[0]);
  return 0;
}
C
run_make() {
  make -C "$work" "KESTRIN=$kestrin" "KESTRIN_PREPARE=$prepare" "LORTANE=$lortane" "CC=$cc" "$@"
}

run_make game >"$work/make.log" 2>&1 || fail "make failed: $(cat "$work/make.log")"
# The 4 x 2 sprite is all key colour: its words keep the key's encoding.
[ "$("$work/game")" = '4x2 0x69D469EA Thanks to "everyone"' ] || fail "game printed $("$work/game")"
[ -f "$work/credits_txt.c" ] || fail "make deleted the generated array"
run_make -q game || fail "make has work left after a full build"

touch "$work/sprite.bmp"
if run_make -q game; then fail "touching the picture left the program up to date"; fi
run_make game >"$work/remake.log" 2>&1 || fail "make failed: $(cat "$work/remake.log")"
grep -q "sprite.bmp$" "$work/remake.log" || fail "the picture was not converted again"
if grep -qF "credits.txt" "$work/remake.log"; then fail "the text was converted again"; fi

# Texts whose names need mending still give arrays that compile.
mkdir "$work/text"
echo "The end" >"$work/text/end-credits.txt"
echo "Second" >"$work/2nd.txt"
run_make text/end-credits_txt.o 2nd_txt.o >"$work/names.log" 2>&1 ||
  fail "make failed on texts whose names need mending: $(cat "$work/names.log")"
grep -qx "const char \* end_credits \[\] = {" "$work/text/end-credits_txt.c" ||
  fail "text/end-credits.txt did not give the array end_credits"
grep -qx "const char \* _2nd \[\] = {" "$work/2nd_txt.c" || fail "2nd.txt did not give the array _2nd"

# A PNG, through its BMP, to its header; again once the PNG changes.
cp "$(dirname "$markdown")/../examples/ship.png" "$work/ship.png"
run_make ship.bmp.h >"$work/png.log" 2>&1 || fail "make failed on a PNG: $(cat "$work/png.log")"
grep -qx "#define SHIP_WIDTH   (34)" "$work/ship.bmp.h" || fail "ship.png did not give a 34-pixel header"
touch "$work/ship.png"
if run_make -q ship.bmp.h; then fail "touching the PNG left its header up to date"; fi

echo "not a picture" >"$work/sprite.bmp"
if run_make game >"$work/bad.log" 2>&1; then fail "make went on after kestrin failed"; fi
grep -qx "Header error: bad type (0x6f6e)" "$work/bad.log" || fail "make did not show kestrin's message"
echo "Make rules: build, rebuild, array names and failure as expected"
