// PNG's row filters, and the choice of one for each row.
#pragma once

// Each row of a PNG goes to the compressor as a filter type and the row's
// bytes less a prediction: none, the byte to the left, the byte above, their
// average, or Paeth's choice of left, above and upper left. Which filter makes
// a row compress best is guessed from the row itself.

#include <cstddef>
#include <cstdint>

namespace kestrin::preview {

enum RowFilter : std::uint8_t {
  kFilterNone = 0,
  kFilterSub = 1,
  kFilterUp = 2,
  kFilterAverage = 3,
  kFilterPaeth = 4,
};

// Writes `row` (`size` bytes, `bpp` bytes a pixel) filtered into `out`: the
// filter type, then `size` bytes. `above` is the row before it, all zeros for
// the first. The filter is the one whose bytes, read as signed, have the
// smallest sum of absolute values.
void filter_row(const std::uint8_t* row, const std::uint8_t* above, std::size_t size, unsigned bpp,
                std::uint8_t* out);

}  // namespace kestrin::preview
