#!/usr/bin/env bash
# Compiles what the Windows programs generate with the MinGW-w64 cross
# compiler, as C99 and as C++17 with the warnings as errors, and runs the
# result under the emulator: the program must see the pictures' words and
# print the text back byte for byte.
#
# generated_code_test.sh <kestrin.exe> <lortane.exe> <C compiler> <C++ compiler> <emulator>...
set -euo pipefail
kestrin=$1 lortane=$2 cc=$3 cxx=$4
shift 4
emulator=("$@")

source "$(dirname "$0")/../support/work_folder.sh"
cd "$work"

le32() {  # the four bytes of $1, least significant first, as printf escapes
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255))
}
bmp() {  # bmp <file> <width> <height> <rows, bottom row first, with fill, as \xHH escapes>
  local size=$((54 + ${#4} / 4))
  printf "BM$(le32 $size)$(le32 0)$(le32 54)$(le32 40)$(le32 "$2")$(le32 "$3")"'\x01\x00\x18\x00'"$(le32 0)$(le32 $((size - 54)))$(le32 0)$(le32 0)$(le32 0)$(le32 0)$4" >"$1"
}
red='\x00\x00\xff' black='\x00\x00\x00' blue='\xff\x00\x00' white='\xff\xff\xff'
green='\x00\xff\x00' magenta='\xff\x00\xff'
mkdir art
# Top row red, black, blue, white; bottom row white, white, black, black.
bmp art/pic.bmp 4 2 "$white$white$black$black$red$black$blue$white"
# (magenta, green), (magenta, magenta), (green, magenta), two bytes of fill.
bmp mp.bmp 6 1 "$magenta$green$magenta$magenta$green$magenta"'\x00\x00'

"${emulator[@]}" "$kestrin" 'art\pic.bmp' >kestrin.log || fail "kestrin.exe failed: $(cat kestrin.log)"
"${emulator[@]}" "$kestrin" -MP mp.bmp >kestrin.log || fail "kestrin.exe -MP failed: $(cat kestrin.log)"

# Every byte a line can hold but its end, bytes that are not UTF-8, a lone
# carriage return, Ctrl-Z, a bidirectional control and a line that is split.
{
  for byte in $(seq 1 255); do
    [ "$byte" = 10 ] || [ "$byte" = 13 ] || printf "\\x$(printf %02x "$byte")"
  done
  printf '\n"quoted" C:\\dir\\ ??= ??/\nlone\rCR and \x1a Ctrl-Z\nbidi \xe2\x80\xae reversed\n\n'
  for i in $(seq 525); do printf '""\xc3\xa9'; done
  printf '\n'
} >text.txt
"${emulator[@]}" "$lortane" text text.txt text.c >lortane.log || fail "lortane.exe failed: $(cat lortane.log)"

cat >probe.c <<'C'
#include <stdint.h>
#include <stdio.h>
typedef uint32_t u32;
#include "art/pic.bmp.h"
#include "mp.bmp.h"
#include "text.c"

static void print_words(const u32* words, size_t count) {
  size_t i;
  for (i = 0; i < count; ++i) printf("%08X ", (unsigned)words[i]);
  printf("\n");
}

int main(void) {
  /* Binary, so that the text comes back with its own bytes only. */
  FILE* out = fopen("printed.txt", "wb");
  size_t i;
  printf("%d %d %d\n", PIC_WIDTH, PIC_HEIGHT, PIC_SIZE);
  print_words(pic_Bitmap, sizeof pic_Bitmap / sizeof pic_Bitmap[0]);
  print_words(mp_Bitmap, MP_SIZE / 2);
  if (out == NULL) return 1;
  for (i = 0; text[i] != NULL; ++i) fprintf(out, "%s\n", text[i]);
  return fclose(out) != 0;
}
C
# The split line: 1023 bytes, 1023 bytes, the rest.
{
  head -n -1 text.txt
  tail -n 1 text.txt | head -c 1023
  echo
  tail -n 1 text.txt | tail -c +1024 | head -c 1023
  echo
  tail -n 1 text.txt | tail -c +2047
} >expected.txt
for language in c c++; do
  compiler=$cc standard=c99
  [ "$language" = c++ ] && compiler=$cxx standard=c++17
  "$compiler" -x "$language" "-std=$standard" -Wall -Wextra -pedantic -Werror -static \
    -o probe.exe probe.c >build.log 2>&1 || fail "$language: the generated files do not compile: $(cat build.log)"
  [ ! -s build.log ] || fail "$language: the compiler warned: $(cat build.log)"
  rm -f printed.txt
  "${emulator[@]}" ./probe.exe | tr -d '\r' >words.txt || fail "$language: the program failed"
  printf '%s\n' "4 2 8" \
    "4C6A00BF 1DBFFF75 FF80FF80 00800080 00000000 00000000 00000000 00000000 " \
    "0055954A 69D469EA 9555004A " | diff -u - words.txt || fail "$language: other words"
  cmp expected.txt printed.txt || fail "$language: the text did not come back as it was"
done
echo "generated code: compiles with $cc and $cxx and runs under ${emulator[*]}"
