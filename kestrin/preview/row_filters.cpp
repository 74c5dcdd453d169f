// The five filters over a row, each in a loop of its own that the compiler
// can widen, and the choice between them: by the row's repeats, then by the
// sum of their magnitudes.

#include "kestrin/preview/row_filters.h"

#include <cstdlib>
#include <cstring>

namespace kestrin::preview {

namespace {

inline std::uint8_t paeth(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

inline std::uint8_t predicted(RowFilter filter, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  switch (filter) {
    case kFilterNone:
      return 0;
    case kFilterSub:
      return a;
    case kFilterUp:
      return b;
    case kFilterAverage:
      return static_cast<std::uint8_t>((a + b) >> 1);
    case kFilterPaeth:
      return paeth(a, b, c);
  }
  return 0;
}

// Filters `size` bytes into `out` (which may be null: then only the sum is
// wanted) and returns the sum of the filtered bytes' magnitudes, each byte
// read as a signed one.
template <RowFilter kFilter>
std::uint64_t apply(const std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                    unsigned bpp, std::uint8_t* out) {
  std::uint64_t sum = 0;
  const auto put = [&](std::size_t i, std::uint8_t a, std::uint8_t c) {
    const auto v = static_cast<std::uint8_t>(row[i] - predicted(kFilter, a, above[i], c));
    sum += v < 128 ? v : 256 - v;
    if (out != nullptr) out[i] = v;
  };
  // The first pixel has nothing to its left.
  const std::size_t first = bpp < size ? bpp : size;
  for (std::size_t i = 0; i < first; ++i) put(i, 0, 0);
  for (std::size_t i = first; i < size; ++i) put(i, row[i - bpp], above[i - bpp]);
  return sum;
}

using Apply = std::uint64_t (*)(const std::uint8_t*, const std::uint8_t*, std::size_t, unsigned,
                                std::uint8_t*);
constexpr Apply kFilters[] = {apply<kFilterNone>, apply<kFilterSub>, apply<kFilterUp>,
                              apply<kFilterAverage>, apply<kFilterPaeth>};

// Bytes equal to the byte to their left or the byte above.
std::size_t repeated_bytes(const std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                           unsigned bpp) {
  std::size_t repeated = 0;
  for (std::size_t i = 0; i < size; ++i) {
    repeated += (i >= bpp && row[i] == row[i - bpp]) || row[i] == above[i];
  }
  return repeated;
}

}  // namespace

std::size_t filter_row(const std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                       unsigned bpp, std::uint8_t* out) {
  const std::size_t repeated = repeated_bytes(row, above, size, bpp);
  if (std::memcmp(row, above, size) == 0) {
    out[0] = kFilterUp;
    std::memset(out + 1, 0, size);
    return repeated;
  }
  if (repeated * 2 >= size) {
    out[0] = kFilterNone;
    std::memcpy(out + 1, row, size);
    return repeated;
  }
  std::size_t best = 0;
  std::uint64_t best_sum = ~std::uint64_t{0};
  for (std::size_t f = 0; f < sizeof kFilters / sizeof kFilters[0]; ++f) {
    const std::uint64_t sum = kFilters[f](row, above, size, bpp, nullptr);
    if (sum < best_sum) {
      best = f;
      best_sum = sum;
    }
  }
  out[0] = static_cast<std::uint8_t>(best);
  kFilters[best](row, above, size, bpp, out + 1);
  return repeated;
}

}  // namespace kestrin::preview
