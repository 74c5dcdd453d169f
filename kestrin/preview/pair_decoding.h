// Turning pixel-pair words back into pixels, as a display shows them.
#pragma once

// Each word holds, most significant byte first, the luma of the left pixel,
// the pair's blue-difference chroma, the luma of the right pixel and the
// pair's red-difference chroma. Both pixels take the pair's chroma: nothing
// is interpolated between pairs, so the preview shows what the words hold.

#include <cstddef>
#include <cstdint>

#include "kestrin/bitmap.h"
#include "kestrin/preview/preview.h"

namespace kestrin::preview {

// The two pixels of a word: red, green, blue of the left, then of the right.
struct PairPixels {
  std::uint8_t rgb[6];
};

// The coefficients are taken to six decimals, in integer millionths, so
// every platform gives the same bytes; halves round up, and the results are
// clamped to 0..255.
//   console: R = 1.164 (Y-16) + 1.596 (Cr-128)
//            G = 1.164 (Y-16) - 0.392 (Cb-128) - 0.813 (Cr-128)
//            B = 1.164 (Y-16) + 2.017 (Cb-128)
//   full:    R = Y + 1.402 (Cr-128)
//            G = Y - 0.344136 (Cb-128) - 0.714136 (Cr-128)
//            B = Y + 1.772 (Cb-128)
PairPixels decode_pair(std::uint32_t word, Display display);

// The word that shows as transparent: a pair wholly of the key colour, as
// Kestrin encodes it (0x69D469EA for 0xFF00FF).
std::uint32_t transparent_word(const Colour3& key);

// Decodes `count` words into pixels of `channels` bytes each (3: red, green,
// blue; 4: and alpha, 255, or 0 for words equal to `transparent`), two pixels
// a word, from `out` on.
void decode_pairs(const std::uint32_t* words, std::size_t count, Display display, unsigned channels,
                  std::uint32_t transparent, std::uint8_t* out);

}  // namespace kestrin::preview
