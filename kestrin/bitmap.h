#pragma once

// Records shared by the reader, the writer and the driver. They mirror the
// BMP format and the converter's settings; they carry no behaviour.

#include <cstdint>
#include <cstdlib>
#include <memory>

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

struct FreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};

// The whole picture, bottom row first whatever the row order of the file.
// Pixel (r, c) starts at byte (r * width + c) * 3 and holds blue, green, red;
// the file's row fill is not stored.
struct PixelBuffer {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::unique_ptr<std::uint8_t, FreeDeleter> bytes;  // null when the picture is empty
};
