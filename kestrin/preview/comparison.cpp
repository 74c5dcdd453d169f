// The comparison's reference and figures, gathered a row at a time.

#include "kestrin/preview/comparison.h"

#include "kestrin/pixel_pair.h"
#include "kestrin/preview/pair_decoding.h"

namespace kestrin::preview {

namespace {

// Kestrin's encoding of one pixel alone: a pair of the pixel twice, which
// holds its luma and chroma unchanged.
std::uint32_t alone(const std::uint8_t* rgb) {
  return encode_pixel_pair(rgb[0], rgb[1], rgb[2], rgb[0], rgb[1], rgb[2]);
}

int distance(int a, int b) { return a > b ? a - b : b - a; }

}  // namespace

void reference_row(const std::uint8_t* source, std::uint32_t width, Display display,
                   std::uint8_t* reference) {
  for (std::uint32_t x = 0; x < width; ++x, source += 3, reference += 3) {
    const PairPixels pixels = decode_pair(alone(source), display);
    reference[0] = pixels.rgb[0];
    reference[1] = pixels.rgb[1];
    reference[2] = pixels.rgb[2];
  }
}

void compare_row(Comparison* comparison, const std::uint8_t* preview, unsigned channels,
                 const std::uint8_t* source, const std::uint8_t* reference, std::uint32_t width,
                 std::uint32_t y, const Colour3& key) {
  count_near_key(&comparison->key, source, 3, width, {0, y}, key);
  count_lone_key(&comparison->key, source, 3, width, {0, y}, key);
  const std::uint8_t* row = source;
  for (std::uint32_t x = 0; x < width; ++x, preview += channels, source += 3, reference += 3) {
    const bool hidden = both_transparent(preview, channels, source, key);
    for (int c = 0; c < 3; ++c) {
      const int d = hidden ? 0 : distance(preview[c], reference[c]);
      comparison->sum[c] += static_cast<std::uint64_t>(d);
      if (d > comparison->largest[c]) comparison->largest[c] = d;
    }
    const int luma = static_cast<int>(alone(source) >> 24);
    comparison->clipped += luma < kStudioBlack || luma > kStudioWhite;
  }
  for (std::uint32_t x = 0; x + 1 < width; x += 2, row += 6) {
    const std::uint32_t left = alone(row), right = alone(row + 3);
    const int cb0 = (left >> 16) & 0xFF, cr0 = left & 0xFF;
    const int cb1 = (right >> 16) & 0xFF, cr1 = right & 0xFF;
    if (distance(cb0, cb1) >= kMixedChroma || distance(cr0, cr1) >= kMixedChroma) {
      ++comparison->mixed_pairs;
    }
    ++comparison->pairs;
  }
  comparison->pixels += width;
}

std::uint64_t mean_hundredths(const Comparison& comparison, int c) {
  if (comparison.pixels == 0) return 0;
  return (comparison.sum[c] * 100 + comparison.pixels / 2) / comparison.pixels;
}

}  // namespace kestrin::preview
