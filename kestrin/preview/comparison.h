// How far a preview is from its source picture: the figures and the difference panel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrin/bitmap.h"

namespace kestrin::preview {

struct Comparison {
  std::uint64_t sum[3] = {0, 0, 0};  // of the absolute differences of red, green, blue
  int largest[3] = {0, 0, 0};
  std::uint64_t pixels = 0;
  std::uint64_t pairs = 0;
  std::uint64_t mixed_pairs = 0;  // source pairs whose pixels' chroma lie far apart
};

// Two pixels of a source pair "mix very different colours" when their
// blue-difference or red-difference chroma, as Kestrin encodes each pixel
// alone, lie this many levels apart or more: the pair's shared chroma then
// visibly bleeds one colour into the other.
inline constexpr int kMixedChroma = 64;

// Whether a source pixel (red, green, blue) has the key colour.
inline bool is_key_colour(const std::uint8_t* rgb, const Colour3& key) {
  return rgb[0] == key.red && rgb[1] == key.green && rgb[2] == key.blue;
}

// Where transparency is shown (four channels), a transparent preview pixel
// over a source pixel of the key colour is no difference: neither shows.
inline bool both_transparent(const std::uint8_t* preview, unsigned channels,
                             const std::uint8_t* source, const Colour3& key) {
  return channels == 4 && preview[3] == 0 && is_key_colour(source, key);
}

// Adds one row: `preview` holds `width` pixels of `channels` bytes (red,
// green, blue first), `source` the same pixels as red, green, blue.
void compare_row(Comparison* comparison, const std::uint8_t* preview, unsigned channels,
                 const std::uint8_t* source, std::uint32_t width, const Colour3& key);

// One channel of the difference panel: black where the two agree, else
// brightened so that a difference of a level or two shows (32 + 16 a level,
// at most 255).
inline std::uint8_t difference_level(std::uint8_t a, std::uint8_t b) {
  const int d = a > b ? a - b : b - a;
  return static_cast<std::uint8_t>(d == 0 ? 0 : (d >= 14 ? 255 : 32 + 16 * d));
}

// The mean difference of channel `c` in hundredths of a level, rounded.
std::uint64_t mean_hundredths(const Comparison& comparison, int c);

}  // namespace kestrin::preview
