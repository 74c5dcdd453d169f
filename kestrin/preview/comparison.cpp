// The comparison's figures, gathered a row at a time.

#include "kestrin/preview/comparison.h"

#include "kestrin/pixel_pair.h"

namespace kestrin::preview {

namespace {

// Kestrin's chroma of one pixel: a pair of the pixel twice holds it unchanged.
void chroma_of(const std::uint8_t* rgb, int* cb, int* cr) {
  const std::uint32_t word = encode_pixel_pair(rgb[0], rgb[1], rgb[2], rgb[0], rgb[1], rgb[2]);
  *cb = static_cast<int>((word >> 16) & 0xFF);
  *cr = static_cast<int>(word & 0xFF);
}

int distance(int a, int b) { return a > b ? a - b : b - a; }

}  // namespace

void compare_row(Comparison* comparison, const std::uint8_t* preview, unsigned channels,
                 const std::uint8_t* source, std::uint32_t width, const Colour3& key) {
  for (std::uint32_t x = 0; x < width; ++x, preview += channels, source += 3) {
    const bool hidden = both_transparent(preview, channels, source, key);
    for (int c = 0; c < 3; ++c) {
      const int d = hidden ? 0 : distance(preview[c], source[c]);
      comparison->sum[c] += static_cast<std::uint64_t>(d);
      if (d > comparison->largest[c]) comparison->largest[c] = d;
    }
    if (x % 2 == 1) {
      int cb0, cr0, cb1, cr1;
      chroma_of(source - 3, &cb0, &cr0);
      chroma_of(source, &cb1, &cr1);
      if (distance(cb0, cb1) >= kMixedChroma || distance(cr0, cr1) >= kMixedChroma) {
        ++comparison->mixed_pairs;
      }
      ++comparison->pairs;
    }
  }
  comparison->pixels += width;
}

std::uint64_t mean_hundredths(const Comparison& comparison, int c) {
  if (comparison.pixels == 0) return 0;
  return (comparison.sum[c] * 100 + comparison.pixels / 2) / comparison.pixels;
}

}  // namespace kestrin::preview
