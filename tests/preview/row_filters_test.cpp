// The row filters: each is chosen where it leaves the least, and what it
// writes comes back through PNG's definition of it.

#include "kestrin/preview/row_filters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "preview/png_read.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RowFilters, ChooseTheFilterThatLeavesLeastAndComeBack) {
  constexpr std::size_t kSize = 64, kBpp = 4;
  Bytes noise(kSize);
  std::uint32_t x = 7;
  for (std::uint8_t& b : noise)
    b = static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  // Rows below `noise`: flat colour, which goes unfiltered; then rows that
  // each filter leaves least of (all but the first pixel, for Sub and Paeth):
  // steps of 37, the row above, the average of left and above, Paeth's
  // choice one level off.
  Bytes none(kSize, 100), sub(kSize), up = noise, average(kSize), paeth(kSize);
  for (std::size_t i = 0; i < kSize; ++i) {
    sub[i] = static_cast<std::uint8_t>(i < kBpp ? 0 : sub[i - kBpp] + 37);
    average[i] = static_cast<std::uint8_t>(((i >= kBpp ? average[i - kBpp] : 0) + noise[i]) / 2);
    if (i < kBpp) {
      paeth[i] = noise[i] ^ 0x80;
      continue;
    }
    const int a = paeth[i - kBpp], b = noise[i], c = noise[i - kBpp];
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    paeth[i] = static_cast<std::uint8_t>((pa <= pb && pa <= pc ? a
                                          : pb <= pc           ? b
                                                               : c) +
                                         (i % 2 ? 1 : -1));
  }
  const Bytes* rows[5] = {&none, &sub, &up, &average, &paeth};
  for (unsigned filter = 0; filter < 5; ++filter) {
    Bytes out(1 + kSize);
    kestrin::preview::filter_row(rows[filter]->data(), noise.data(), kSize, kBpp, out.data());
    EXPECT_EQ(out[0], filter);
    EXPECT_EQ(unfilter_row(out[0], out.data() + 1, noise, kBpp), *rows[filter]) << filter;
  }
  // The first row has zeros above it.
  Bytes out(1 + kSize);
  kestrin::preview::filter_row(noise.data(), none.data(), kSize, kBpp, out.data());
  EXPECT_EQ(unfilter_row(out[0], out.data() + 1, none, kBpp), noise);
}

}  // namespace
