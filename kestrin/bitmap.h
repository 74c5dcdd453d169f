// The records shared by Kestrin's reader, writer and driver.
#pragma once

// Records shared by the reader, the writer and the driver: the BMP headers,
// the converter's settings, and the picture's rows on their way from the file
// to the header. They mirror the BMP format and carry no behaviour.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/byte_stream.h"

namespace kestrin {

// The 14-byte BITMAPFILEHEADER, decoded from little-endian bytes.
struct FileHeader {
  static constexpr std::size_t kSize = 14;

  std::uint16_t bfType = 0;  // "BM" is 0x4D42
  std::uint32_t bfSize = 0;
  std::uint16_t bfReserved1 = 0;
  std::uint16_t bfReserved2 = 0;
  std::uint32_t bfOffBits = 0;  // file offset of the first pixel row
};

// The 40-byte BITMAPINFOHEADER, decoded from little-endian bytes.
struct InfoHeader {
  static constexpr std::size_t kSize = 40;

  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;  // negative: rows are stored top row first
  std::uint16_t biPlanes = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

// One pixel as the file stores it: blue, green, red.
struct Colour3 {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
};

struct MagicPink {
  bool enabled = false;
  Colour3 key;
  Colour3 replacement;
};

using platform::ByteSink;
using platform::ByteSource;

// The picture's pixels on their way to the header. The rows stay where the
// file holds them and are read a band at a time, in the order the header
// wants them (top row first), so memory does not grow with the picture; only
// a source that cannot seek is read whole. Each pixel is blue, green, red.
struct PixelBuffer {
  std::uint32_t width = 0;   // pixels a row
  std::uint32_t height = 0;  // rows; positive for a top-down file too

  // Where the rows are.
  ByteSource source{};
  std::uint64_t offset = 0;  // of the first row the file stores
  std::uint64_t stride = 0;  // from one stored row to the next: pixels and fill
  bool top_down = false;     // the file stores the top row first

  // The rows at hand: file rows band_first to band_first + band_rows - 1, or
  // part of one row that is longer than the band (pairs from band_pair on).
  std::uint8_t* bytes = nullptr;
  std::size_t capacity = 0;
  bool whole = false;  // `bytes` holds every row, in `held`
  std::unique_ptr<std::uint8_t[]> held;
  std::uint64_t band_first = 0;
  std::uint64_t band_rows = 0;
  std::uint64_t band_pair = 0;
  std::uint64_t band_pairs = 0;

  // How far the writer has got, in the header's order.
  std::uint64_t next_row = 0;   // 0 is the top row
  std::uint64_t next_pair = 0;  // within that row
};

// A run of adjacent pixel pairs of one row, as next_pixel_run hands them out.
struct PixelRun {
  std::uint8_t* pixels = nullptr;  // `pairs` pairs, six bytes each; may be changed
  std::size_t pairs = 0;
  std::uint64_t first_pair = 0;  // the row's pair index of the first of them
  bool ends_row = false;
};

}  // namespace kestrin
