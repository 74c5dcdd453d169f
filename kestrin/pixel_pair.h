// The GCube pixel-pair word and the Magic Pink colour-key rule.
#pragma once

// The GCube pixel-pair word and the Magic Pink colour-key rule. Both run once
// per pair of a picture, so they are defined here, where the writer's loop can
// inline them.

#include <cstdint>

#include "kestrin/bitmap.h"

namespace kestrin {

namespace pixel_pair_detail {

// BT.601 luma and JFIF full-range chroma (offset 128) in fixed point. Every
// numerator is non-negative for bytes 0 to 255, so unsigned division rounds
// down exactly as the signed form would, and the compiler turns each constant
// division into a multiplication.
inline std::uint32_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (299 * r + 587 * g + 114 * b) / 1000;
}

inline std::uint32_t chroma_blue(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (12800000 - 16874 * r - 33126 * g + 50000 * b) / 100000;
}

inline std::uint32_t chroma_red(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (12800000 + 50000 * r - 41869 * g - 8131 * b) / 100000;
}

inline bool is_key(const std::uint8_t* pixel, const Colour3& key) {
  return pixel[0] == key.blue && pixel[1] == key.green && pixel[2] == key.red;
}

inline void paint(std::uint8_t* pixel, const Colour3& colour) {
  pixel[0] = colour.blue;
  pixel[1] = colour.green;
  pixel[2] = colour.red;
}

}  // namespace pixel_pair_detail

// Packs two horizontally adjacent pixels into one word, most significant byte
// first: luma of the left pixel, the pair's blue-difference chroma, luma of the
// right pixel, the pair's red-difference chroma. Integer arithmetic only, so
// every platform produces the same words.
inline std::uint32_t encode_pixel_pair(std::uint8_t red0, std::uint8_t green0, std::uint8_t blue0,
                                       std::uint8_t red1, std::uint8_t green1, std::uint8_t blue1) {
  using namespace pixel_pair_detail;
  // Each pixel's chroma is rounded down before the pair's two are averaged.
  const std::uint32_t cb =
      (chroma_blue(red0, green0, blue0) + chroma_blue(red1, green1, blue1)) / 2;
  const std::uint32_t cr = (chroma_red(red0, green0, blue0) + chroma_red(red1, green1, blue1)) / 2;
  return luma(red0, green0, blue0) << 24 | cb << 16 | luma(red1, green1, blue1) << 8 | cr;
}

// Repaints a lone key-coloured pixel of a pair with the replacement; a pair
// that is wholly the key keeps it, so the key still encodes transparency.
// `left` and `right` point at three bytes each: blue, green, red.
inline void apply_magic_pink(std::uint8_t* left, std::uint8_t* right, const Colour3& key,
                             const Colour3& replacement) {
  using namespace pixel_pair_detail;
  const bool left_is_key = is_key(left, key);
  const bool right_is_key = is_key(right, key);
  if (left_is_key && !right_is_key) paint(left, replacement);
  if (right_is_key && !left_is_key) paint(right, replacement);
}

}  // namespace kestrin
