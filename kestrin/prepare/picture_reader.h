// Reading a PNG or BMP picture into red, green, blue and alpha.
#pragma once

// The one place that knows the decoder. A picture is read whole, from bytes
// in memory, into 8 bits a channel; its size is checked against the limits
// before anything is decoded, and the decoder may take only the memory that
// size calls for, so that no file, however made, costs more.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrin::prepare {

// The largest picture read: 8192 pixels on a side, 2048 x 2048 in all, four
// times the console's largest texture.
inline constexpr std::uint32_t kMaxSide = 8192;
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 22;

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;  // top row first, four bytes a pixel
};

enum class PictureFormat { kUnknown, kPng, kBmp };

struct PictureProblem {
  enum class Kind {
    kNone,
    kUnknownFormat,  // neither a PNG nor a BMP
    kDamaged,        // `detail` says what does not hold
    kUnsupported,    // a kind of PNG or BMP that is not read: `detail`
    kTooLarge,       // `width` x `height` passes the limits
  };
  Kind kind = Kind::kNone;
  PictureFormat format = PictureFormat::kUnknown;
  std::string detail;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

// What the bytes hold, by their first bytes.
PictureFormat picture_format(const std::uint8_t* bytes, std::size_t size);

// Decodes the picture in `bytes`; false with `*problem` filled when it
// cannot. A PNG must be whole, every chunk's checksum must hold, and a BMP
// must hold every pixel it declares.
bool read_picture(const std::uint8_t* bytes, std::size_t size, Picture* picture,
                  PictureProblem* problem);

}  // namespace kestrin::prepare
