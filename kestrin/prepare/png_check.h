// A PNG's structure checked before it is decoded, and its palette made whole.
#pragma once

// The decoder reads neither chunk checksums, nor the image data's own
// checksum, nor whether the data is as long as the picture calls for, and it
// takes palette entries past the end of a short palette from memory it never
// set. So every chunk up to IEND must be whole with its checksum holding,
// IHDR's fields must be ones the format allows, the image data must inflate,
// checksum and all, to exactly the bytes the picture's size calls for, and a
// short palette is handed on filled to its full size.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrin::prepare {

struct PngShape {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int depth = 0;        // bits a sample
  int colour_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
  bool interlaced = false;
  std::size_t palette_entries = 0;  // those PLTE holds
};

// Checks `bytes`, a whole PNG file, and fills `*shape` from its IHDR; false
// with `*reason` (a clause such as "the checksum of its IDAT chunk fails")
// when it does not hold. `max_pixels` bounds the picture before any of its
// data is inflated: a larger one is no error here, and `*shape` tells.
bool check_png(const std::uint8_t* bytes, std::size_t size, std::uint64_t max_pixels,
               PngShape* shape, std::string* reason);

// The file with its palette filled to 2^depth entries of `filler` (red,
// green, blue), where it holds fewer; as it was otherwise.
std::string with_whole_palette(const std::uint8_t* bytes, std::size_t size, const PngShape& shape,
                               const std::uint8_t filler[3]);

// Whether the palette must be filled: it holds fewer entries than the depth
// can index.
bool has_short_palette(const PngShape& shape);

}  // namespace kestrin::prepare
