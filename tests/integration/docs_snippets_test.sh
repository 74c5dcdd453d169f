#!/usr/bin/env bash
# Runs the snippets of the README and the recipes of docs/kestrin.md as
# printed. The README's: its commands convert a picture and a text, and its C
# program must compile and print them. The C and C++ recipe: the picture's
# own header, the defining source and another source are copied out and
# linked in C, in C++ and mixed, and the program must see the array. The
# compatible-BMP recipes: each converts a PNG of odd width with transparent
# pixels, and Kestrin with Magic Pink must find the key colour wherever the
# PNG was transparent and in the new column. Where there is no ImageMagick 7,
# ImageMagick 6 stands in for its magick command. Exits 77 (skipped) after the
# other checks when a recipe's tools (ImageMagick, netpbm, Pillow) are
# missing.
#
# docs_snippets_test.sh <README.md> <kestrin.md> <kestrin> <lortane> <make_sample_picture>
#                       <C compiler> <C++ compiler> <kestrin-prepare>
set -euo pipefail
readme=$1 markdown=$2 kestrin=$3 lortane=$4 make_picture=$5 cc=$6 cxx=$7 prepare=$8

source "$(dirname "$0")/../support/work_folder.sh"

# Writes the fenced blocks of section $2 of file $1 to $work/blocks/<n>.<language>.
extract() {
  mkdir -p "$work/blocks"
  rm -f "$work/blocks"/*
  awk -v section="## $2" -v out="$work/blocks" '
    /^## / { inside = ($0 == section); next }
    inside && !block && /^```/ { block = substr($0, 4); n++; next }
    block && /^```/ { block = ""; next }
    block { print > (out "/" n "." block) }' "$1"
}
first_word() {  # the first word of the array in header $1
  grep -o '0x[0-9A-F]\{8\}' "$1" | head -n 1
}

extract "$readme" "Your own picture and text"
mkdir "$work/readme"
cd "$work/readme"
cp "$(dirname "$readme")/examples/ship.png" ship.png  # 33 x 20, with transparency
printf 'Thanks for playing!\n"Ship" by A. Artist\n' >credits.txt
sed -e "s|build/kestrin/prepare/kestrin-prepare|$prepare|" -e "s|build/kestrin/kestrin|$kestrin|" \
  -e "s|build/lortane/lortane|$lortane|" "$work/blocks/1.sh" >commands.sh
bash -e commands.sh >commands.log || fail "the README's commands failed: $(cat commands.log)"
cp "$work/blocks/2.c" main.c
"$cc" -std=c99 -Wall -Wextra -pedantic -Werror -o main main.c || fail "the README's program does not compile"
printf '%s\n' "ship: 34 x 20, first word $(first_word ship.bmp.h)" "Thanks for playing!" \
  '"Ship" by A. Artist' | diff -u - <(./main) || fail "the README's program printed other text"

extract "$markdown" "Using the header from C and C++"
mkdir "$work/link"
for block in "$work/blocks"/*.c; do
  name=$(sed -n '1s|^/\* \([a-z]*\.[ch]\): .*|\1|p' "$block")
  [ -n "$name" ] && cp "$block" "$work/link/$name"
done
[ -f "$work/link/sprite.h" ] && [ -f "$work/link/sprite.c" ] && [ -f "$work/link/main.c" ] ||
  fail "no sprite.h, sprite.c and main.c in \"Using the header from C and C++\""
cd "$work/link"
"$make_picture" sprite.bmp 6 2
"$kestrin" sprite.bmp >/dev/null
first=$(first_word sprite.bmp.h)
compile() {  # compile <c|c++> <source> <object>
  local compiler=$cc standard=c99
  [ "$1" = c++ ] && compiler=$cxx standard=c++17
  "$compiler" -x "$1" "-std=$standard" -Wall -Wextra -pedantic -Werror -c -o "$3" "$2" ||
    fail "$2 does not compile as $1"
}
for pair in "c c" "c++ c++" "c c++" "c++ c"; do
  set -- $pair
  compile "$1" sprite.c sprite.o
  compile "$2" main.c main.o
  "$cxx" -o program sprite.o main.o || fail "sprite.c as $1 and main.c as $2 do not link"
  [ "$(./program)" = "first word $first" ] || fail "sprite.c as $1, main.c as $2 printed $(./program)"
done

# 3 x 2: red, transparent, transparent over transparent, transparent, blue.
# Padded and on the key colour, with Magic Pink: (red, key) repaints the key
# black, (key, key) stays transparent, (blue, key) repaints the key black.
expected='0x4C6A00BF, 0x69D469EA, 
0x69D469EA, 0x1DBF0075, '
extract "$markdown" "Making a compatible BMP"
# Debian's python3-pil serves Debian's python3, which another one on PATH may hide.
python=python3
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import PIL' 2>/dev/null; then
    python=$candidate
    break
  fi
done
mkdir "$work/bin"
if ! command -v magick >/dev/null && command -v convert >/dev/null; then
  printf '#!/bin/sh\nif [ "$1" = identify ]; then shift; exec identify "$@"; fi\nexec convert "$@"\n' \
    >"$work/bin/magick"
  chmod +x "$work/bin/magick"
fi
export PATH="$work/bin:$PATH"
"$python" - "$work/sprite.png" <<'PY' 2>/dev/null ||
import sys
from PIL import Image
picture = Image.new("RGBA", (3, 2), (0, 0, 0, 0))
picture.putpixel((0, 0), (255, 0, 0, 255))
picture.putpixel((2, 1), (0, 0, 255, 255))
picture.save(sys.argv[1])
PY
  convert -size 3x2 xc:none -fill red -draw 'point 0,0' -fill blue -draw 'point 2,1' \
    "$work/sprite.png" 2>/dev/null || true
missing=()
ran=0
for block in "$work/blocks"/*; do
  case $(cat "$block") in
    *"magick "*) needs=magick run=(bash) ;;
    *"convert "*) needs=convert run=(bash) ;;
    *pngtopnm*) needs=pngtopnm run=(bash) ;;
    *PIL*) needs=PIL run=("$python") ;;
    *) fail "a recipe for no known tool: $(cat "$block")" ;;
  esac
  if [ ! -f "$work/sprite.png" ] || { [ "$needs" = PIL ] && ! "$python" -c 'import PIL' 2>/dev/null; } ||
    { [ "$needs" != PIL ] && ! command -v "$needs" >/dev/null; }; then
    missing+=("$needs")
    continue
  fi
  folder=$work/$(basename "$block")
  mkdir "$folder"
  cp "$work/sprite.png" "$folder/"
  (cd "$folder" && "${run[@]}" "$block" >recipe.log 2>&1) ||
    fail "the $needs recipe failed: $(cat "$folder/recipe.log")"
  (cd "$folder" && "$kestrin" -MP sprite.bmp >kestrin.log) ||
    fail "kestrin does not take the $needs recipe's picture: $(cat "$folder/kestrin.log")"
  words=$(sed -n '/^const u32/,/^};/p' "$folder/sprite.bmp.h" | sed '1d;$d')
  [ "$words" = "$expected" ] || fail "the $needs recipe's picture gives other words: $words"
  ran=$((ran + 1))
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "SKIP: the README's snippets, the C and C++ recipe and $ran picture recipes work; no ${missing[*]} to run the others"
  exit 77
fi
echo "documents: the README's snippets, the C and C++ recipe and $ran picture recipes work as printed"
