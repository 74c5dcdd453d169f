// A BMP's headers read and checked field by field, and rewritten into the one layout the decoder
// reads without guessing.
#pragma once

// BMPs come with info headers of several sizes (OS/2's 12 bytes, Windows'
// 40, 52, 56, 108 and 124), their bit fields inside the header or after it,
// palettes of 3- or 4-byte entries, shorter than the depth can index, and gaps
// before the pixels. The decoder guesses the palette's length from the pixel
// offset and reads entries it was never given from memory it never set. So
// the headers are checked here, in the order of their fields, and the file is
// rewritten with a 108-byte header, its bit fields inside it, a palette of
// every entry the depth can index and the pixels right after it; a pixel that
// names an entry the palette does not have is refused.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrin::prepare {

struct BmpLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;  // rows, whichever way they are stored
  std::string rewritten;     // the file in the decoder's layout
};

// Reads the BMP in `bytes`; false with `*reason` (a clause, such as "its
// width is -5") and `*unsupported` telling a kind of BMP that is not read
// (RLE, 2 bits a pixel) from a damaged one. Where the size alone is known to
// pass `max_pixels`, true with no rewriting, so that the caller refuses it
// for its size.
bool lay_out_bmp(const std::uint8_t* bytes, std::size_t size, std::uint64_t max_pixels,
                 BmpLayout* layout, std::string* reason, bool* unsupported);

}  // namespace kestrin::prepare
