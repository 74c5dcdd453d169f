#!/usr/bin/env bash
# Runs the Make rule of docs/kestrin-preview.md as it stands: the block is
# copied out of its "In a Makefile" section, beside a rule that makes the
# header with kestrin, and make must make the preview, make it again only
# after the picture changes, and stop when the preview fails, leaving no PNG.
#
# make_rule_test.sh <markdown file> <kestrin> <kestrin-preview>
set -euo pipefail
markdown=$1 kestrin=$2 preview=$3

source "$(dirname "$0")/../support/work_folder.sh"

{
  printf '%%.bmp.h: %%.bmp\n\t$(KESTRIN) -MP $<\n\n'
  awk '/^## In a Makefile/ { section = 1; next }
       /^## / { section = 0 }
       section && /^```make/ { block = 1; next }
       block && /^```/ { exit }
       block { print }' "$markdown"
} >"$work/Makefile"
grep -q 'bmp.h.png' "$work/Makefile" || fail "$markdown has no Make rule in an \"In a Makefile\" section"

# A 2 x 1 BMP of two magenta pixels: one word, the key's, transparent.
bmp='BM\x3e\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x02\x00\x00\x00'
bmp+='\x01\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x08\x00\x00\x00'
bmp+='\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
bmp+='\xff\x00\xff\xff\x00\xff\x00\x00'
printf "$bmp" >"$work/sprite.bmp"
run_make() {
  make -C "$work" "KESTRIN=$kestrin" "KESTRIN_PREVIEW=$preview" "$@"
}

run_make sprite.bmp.h.png >"$work/make.log" 2>&1 || fail "make failed: $(cat "$work/make.log")"
# Signature, IHDR of 2 x 1 with a palette of one colour (1 bit, colour type
# 3) and, for the rule's --transparent, that colour's alpha (tRNS).
[ "$(head -c 26 "$work/sprite.bmp.h.png" | od -An -tx1 | tr -d ' \n')" = \
  "89504e470d0a1a0a0000000d4948445200000002000000010103" ] ||
  fail "the preview is not a 2 x 1 PNG of one colour"
grep -q tRNS "$work/sprite.bmp.h.png" || fail "the preview has no transparency"
run_make -q sprite.bmp.h.png || fail "make has work left after making the preview"
touch "$work/sprite.bmp"
if run_make -q sprite.bmp.h.png; then fail "touching the picture left the preview up to date"; fi

rm "$work/sprite.bmp.h.png"
run_make sprite.bmp.h.png KESTRIN_PREVIEW_FLAGS=--scale=0 >"$work/bad.log" 2>&1 &&
  fail "make went on after the preview failed"
grep -q "^kestrin-preview: --scale is a whole number from 1 to 16, not '0'" "$work/bad.log" ||
  fail "make did not show the preview's message: $(cat "$work/bad.log")"
[ ! -e "$work/sprite.bmp.h.png" ] || fail "a failed preview left a PNG"
echo "Make rule: preview made, remade after a change, failure stops make"
