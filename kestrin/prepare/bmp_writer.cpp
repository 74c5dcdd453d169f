// The BMP's two headers and its rows, bottom row first.

#include "kestrin/prepare/bmp_writer.h"

#include <vector>

namespace kestrin::prepare {

namespace {

constexpr std::uint32_t kHeadersSize = 14 + 40;

void put_u16le(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put_u32le(std::uint8_t* p, std::uint32_t v) {
  put_u16le(p, v);
  put_u16le(p + 2, v >> 16);
}

bool put(platform::ByteSink sink, const std::uint8_t* bytes, std::size_t size) {
  return sink.write(sink.context, reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

bool write_bmp(platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               const std::uint8_t* rgb) {
  const std::size_t row_size = 3 * std::size_t{width} + width % 4;  // filled to four bytes
  const auto image_size = static_cast<std::uint32_t>(row_size * height);
  std::uint8_t headers[kHeadersSize] = {'B', 'M'};
  put_u32le(headers + 2, kHeadersSize + image_size);  // bfSize; bfReserved1 and 2 stay 0
  put_u32le(headers + 10, kHeadersSize);              // bfOffBits
  std::uint8_t* info = headers + 14;
  put_u32le(info, 40);  // biSize
  put_u32le(info + 4, width);
  put_u32le(info + 8, height);  // positive: bottom-up
  put_u16le(info + 12, 1);      // biPlanes
  put_u16le(info + 14, 24);     // biBitCount
  put_u32le(info + 20, image_size);
  // biCompression, the resolution, biClrUsed and biClrImportant stay 0.
  if (!put(sink, headers, sizeof headers)) return false;

  std::vector<std::uint8_t> row(row_size, 0);
  for (std::uint32_t y = height; y-- > 0;) {
    const std::uint8_t* from = rgb + std::size_t{y} * width * 3;
    for (std::size_t x = 0; x < width; ++x, from += 3) {
      row[3 * x] = from[2];
      row[3 * x + 1] = from[1];
      row[3 * x + 2] = from[0];
    }
    if (!put(sink, row.data(), row.size())) return false;
  }
  return true;
}

}  // namespace kestrin::prepare
