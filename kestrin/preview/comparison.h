// How far a preview is from its source picture: the figures and the difference panel.
#pragma once

// The differences are taken against the source as the same display shows
// it where every pixel keeps its own chroma: each pixel encoded alone, as a
// pair of itself, and decoded. What the display does to every picture alike
// (the studio range's shift of a dozen levels) is then no difference, and
// what remains is what the pairs and Magic Pink do: shared chroma,
// repainted key pixels, and rounding. What the studio range cuts off is
// counted apart.

#include <cstddef>
#include <cstdint>

#include "kestrin/bitmap.h"
#include "kestrin/key_colour_report.h"
#include "kestrin/preview/preview.h"

namespace kestrin::preview {

struct Comparison {
  std::uint64_t sum[3] = {0, 0, 0};  // of the absolute differences of red, green, blue
  int largest[3] = {0, 0, 0};
  std::uint64_t pixels = 0;
  std::uint64_t pairs = 0;
  std::uint64_t mixed_pairs = 0;  // source pairs whose pixels' chroma lie far apart
  std::uint64_t clipped = 0;      // source pixels whose luma lies outside the studio range
  KeyColourReport key;            // the source's near-key and lone key pixels
};

// Two pixels of a source pair "mix very different colours" when their
// blue-difference or red-difference chroma, as Kestrin encodes each pixel
// alone, lie this many levels apart or more: the pair's shared chroma then
// visibly bleeds one colour into the other.
inline constexpr int kMixedChroma = 64;

// The studio range shows luma from 16 (black) to 235 (white); the console
// shows a pixel encoded outside it as the nearest end.
inline constexpr int kStudioBlack = 16;
inline constexpr int kStudioWhite = 235;

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

// The reference of `width` source pixels (red, green, blue): each as
// `display` shows it as a pair of itself, into `reference`, red, green, blue.
void reference_row(const std::uint8_t* source, std::uint32_t width, Display display,
                   std::uint8_t* reference);

// Adds row `y`: `preview` holds `width` pixels of `channels` bytes (red,
// green, blue first), `source` and `reference` the same pixels as red, green,
// blue.
void compare_row(Comparison* comparison, const std::uint8_t* preview, unsigned channels,
                 const std::uint8_t* source, const std::uint8_t* reference, std::uint32_t width,
                 std::uint32_t y, const Colour3& key);

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
