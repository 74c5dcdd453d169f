// Writing a PNG picture row by row, with stored (uncompressed) deflate blocks.
#pragma once

// The picture's size is known before its first byte: the writer then knows
// every block's length as it starts it, and streams rows of any length and
// number through a buffer of fixed size. 8-bit RGB or RGBA, no interlacing,
// every row filtered with "None".

#include <cstddef>
#include <cstdint>

#include "platform/byte_stream.h"

namespace kestrin::preview {

struct PngWriter {
  platform::ByteSink sink{};
  std::uint8_t* chunk = nullptr;  // the IDAT chunk being filled: length, type, data
  std::size_t used = 0;           // bytes of `chunk` filled
  std::size_t block_left = 0;     // bytes the current stored block still takes
  std::uint64_t left = 0;         // bytes of filtered rows still to come
  std::uint32_t adler = 1;        // the zlib stream's Adler-32
  bool failed = false;            // the sink refused a write
};

// The largest width or height a PNG may have.
inline constexpr std::uint32_t kPngMaxSide = 0x7FFFFFFF;

// Writes the signature and the header chunk for a picture of `width` x
// `height` pixels (1 to kPngMaxSide each) of `channels` bytes (3 or 4), and
// gets ready for its rows, png_picture_bytes of them in all.
bool png_begin(PngWriter* png, platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               unsigned channels);

// The bytes of all the rows, each a filter byte and its pixels: height x (1 +
// width x channels); 0 when that passes 64 bits.
std::uint64_t png_picture_bytes(std::uint32_t width, std::uint32_t height, unsigned channels);

// Adds the next bytes of the rows: each row is a filter byte (0) and then its
// pixels. False once the sink has refused a write.
bool png_put(PngWriter* png, const std::uint8_t* bytes, std::size_t size);

// Ends the picture once every byte of its rows has been put; false if a
// write failed or bytes are missing.
bool png_finish(PngWriter* png);

}  // namespace kestrin::preview
