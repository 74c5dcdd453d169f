// PNG's row filters, and the choice of one for each row.
#pragma once

// Each row of a PNG goes to the compressor as a filter type and the row's
// bytes less a prediction: none, the byte to the left, the byte above, their
// average, or Paeth's choice of left, above and upper left. Which filter makes
// a row compress best is guessed from the row itself (bench/README.md has the
// measurements): a row of flat colour compresses best as it is, where deflate
// finds the repeats of sprites and tiles whole; a grainy one by the filter
// that leaves the least.

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
// the first. A row equal to the row above goes as Up (all zeros); one at
// least half of whose bytes repeat the byte to their left or above goes
// unfiltered; any other by the filter whose bytes, read as signed, have the
// smallest sum of absolute values. Returns how many bytes repeat the byte to
// their left or above.
std::size_t filter_row(const std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                       unsigned bpp, std::uint8_t* out);

}  // namespace kestrin::preview
