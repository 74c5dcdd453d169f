// Writing the one kind of BMP Kestrin reads.
#pragma once

// A 14-byte file header, a 40-byte info header, 24 bits a pixel (blue,
// green, red), rows stored bottom-up and each filled to four bytes.

#include <cstdint>

#include "platform/byte_stream.h"

namespace kestrin::prepare {

// Writes `width` x `height` pixels of `rgb` (red, green, blue, top row
// first) as that BMP; false once the sink refuses a write. The file's size
// must fit the format's 32 bits.
bool write_bmp(platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               const std::uint8_t* rgb);

}  // namespace kestrin::prepare
