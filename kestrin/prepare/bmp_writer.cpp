// The BMP's two headers and its rows, bottom row first.

#include "kestrin/prepare/bmp_writer.h"

#include <vector>

#include "kestrin/bitmap_reader.h"

namespace kestrin::prepare {

namespace {

bool put(platform::ByteSink sink, const std::uint8_t* bytes, std::size_t size) {
  return sink.write(sink.context, reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

bool write_bmp(platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               const std::uint8_t* rgb) {
  const std::size_t row_size = 3 * std::size_t{width} + width % 4;  // filled to four bytes
  const auto image_size = static_cast<std::uint32_t>(row_size * height);
  FileHeader header;
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = FileHeader::kSize + InfoHeader::kSize;
  header.bfSize = header.bfOffBits + image_size;
  InfoHeader info;  // no compression, no palette, no resolution
  info.biSize = InfoHeader::kSize;
  info.biWidth = static_cast<std::int32_t>(width);
  info.biHeight = static_cast<std::int32_t>(height);  // positive: bottom-up
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = image_size;
  std::uint8_t headers[FileHeader::kSize + InfoHeader::kSize];
  encode_headers(header, info, headers);
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
