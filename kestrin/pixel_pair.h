#pragma once

// The GCube pixel-pair word and the Magic Pink colour-key rule.

#include <cstdint>

#include "kestrin/bitmap.h"

// Packs two horizontally adjacent pixels into one word, most significant byte
// first: luma of the left pixel, the pair's blue-difference chroma, luma of the
// right pixel, the pair's red-difference chroma. Integer arithmetic only, so
// every platform produces the same words.
std::uint32_t encode_pixel_pair(std::uint8_t red0, std::uint8_t green0, std::uint8_t blue0,
                                std::uint8_t red1, std::uint8_t green1, std::uint8_t blue1);

// Repaints a lone key-coloured pixel of a pair with the replacement; a pair
// that is wholly the key keeps it, so the key still encodes transparency.
// `left` and `right` point at three bytes each: blue, green, red.
void apply_magic_pink(std::uint8_t* left, std::uint8_t* right, const Colour3& key,
                      const Colour3& replacement);
