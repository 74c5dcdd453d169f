#!/usr/bin/env bash
# The pictures artists have, made with the tools they make them with: each
# goes through kestrin-prepare and then kestrin -MP with status 0, and the
# BMP holds the picture's pixels as ImageMagick decodes them (16 bits a
# channel rounded to the nearest of 8), every pixel whose alpha is below 128
# the key and an odd width padded with it.
#
# exporters_test.sh <kestrin-prepare> <kestrin>
set -euo pipefail
prepare=$1 kestrin=$2

source "$(dirname "$0")/../support/work_folder.sh"

convert=/usr/bin/convert
command -v ppmtobmp >/dev/null && [ -x "$convert" ] || {
  echo "needs ImageMagick's /usr/bin/convert and netpbm's ppmtobmp"
  exit 77
}
# Debian's python3-pil serves Debian's python3, which another one on PATH may hide.
python=
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import PIL' 2>/dev/null; then
    python=$candidate
    break
  fi
done
[ -n "$python" ] || {
  echo "needs Python with Pillow (Debian: python3-pil)"
  exit 77
}
cd "$work"

# A sprite of odd width with fully, half and barely opaque parts and a
# transparent ground, as a painting program saves it.
"$python" - <<'PY'
from PIL import Image
sprite = Image.new("RGBA", (33, 20), (0, 0, 0, 0))
for y in range(20):
    for x in range(33):
        if 4 <= y <= 15 and 6 <= x <= 26:
            alpha = (255, 200, 100, 30)[(x + y) % 4]
            sprite.putpixel((x, y), (40 + 6 * x, 250 - 5 * y, 90, alpha))
sprite.save("sprite.png")
# A palette picture, saved as Pillow saves it by default.
sprite.crop((0, 0, 32, 20)).convert("RGB").quantize(16).save("pillow.bmp")
# Palette PNG with transparency, and 16-bit grey.
sprite.quantize(16).save("palette.png", transparency=0)
grey = Image.new("I;16", (9, 5))
for y in range(5):
    for x in range(9):
        grey.putpixel((x, y), x * 7000 + y * 511)
grey.save("grey16.png")
# A 32-bit BMP with alpha.
sprite.save("alpha32.bmp")
PY
"$convert" sprite.png convert.bmp                                    # 124-byte header
"$convert" sprite.png -interlace PNG interlaced.png
"$convert" sprite.png -background '#FF00FF' -flatten -type TrueColor BMP3:odd.bmp
"$convert" -size 6x3 xc:white -fill black -draw 'point 1,1' two.ppm
ppmtobmp two.ppm >ppmtobmp.bmp 2>/dev/null                           # 1 bit a pixel
# OS/2's 12-byte headers and 3-byte palette entries.
"$convert" sprite.png -background '#FF00FF' -flatten -colors 16 -type palette BMP2:os2.bmp
pngtopnm -mix -background='#FF00FF' sprite.png 2>/dev/null | ppmtobmp -os2 -bpp=8 >os2-ppm.bmp 2>/dev/null
ppmtobmp -os2 -bpp=1 two.ppm >os2-bilevel.bmp 2>/dev/null

for picture in convert.bmp pillow.bmp ppmtobmp.bmp sprite.png odd.bmp alpha32.bmp \
  palette.png grey16.png interlaced.png os2.bmp os2-ppm.bmp os2-bilevel.bmp; do
  ready=${picture%.*}-ready.bmp
  "$prepare" --quiet "$picture" "$ready" >prepare.log 2>&1 ||
    fail "kestrin-prepare $picture failed: $(cat prepare.log)"
  "$kestrin" -MP "$ready" >kestrin.log || fail "kestrin -MP $ready failed: $(cat kestrin.log)"
  set -- $("$convert" "$picture" -format '%w %h' info:)
  "$convert" "$picture" -depth 16 -endian MSB RGBA:"$picture.rgba"
  "$convert" "$ready" -depth 8 RGB:"$ready.rgb"
  "$python" - "$picture.rgba" "$ready.rgb" "$1" "$2" <<'PY' || fail "$picture: the BMP's pixels are not the picture's"
import sys
source, ready = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
width, height = int(sys.argv[3]), int(sys.argv[4])
key = b"\xff\x00\xff"
expected = bytearray()
for y in range(height):
    for x in range(width):
        at = 8 * (y * width + x)
        r, g, b, a = (((source[at + 2 * i] << 8 | source[at + 2 * i + 1]) * 255 + 32767) // 65535
            for i in range(4))
        expected += key if a < 128 else bytes((r, g, b))
    if width % 2:
        expected += key
if bytes(expected) != ready:
    at = next(i for i in range(min(len(ready), len(expected))) if ready[i] != expected[i]) // 3
    print(f"first difference at pixel {at} of {len(expected) // 3} ({len(ready) // 3} written)")
    sys.exit(1)
PY
done
echo "exporters: every picture made ready, converted, and holding its own pixels"
