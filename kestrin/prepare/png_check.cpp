// The PNG's chunks, IHDR and image data checked with zlib, and its palette filled.

#include "kestrin/prepare/png_check.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "kestrin/byte_order.h"

#include "kestrin/byte_order.h"

namespace kestrin::prepare {

namespace {

constexpr std::size_t kSignature = 8;
constexpr std::size_t kChunkFrame = 12;  // length, type, checksum

// A chunk's type as a message names it: four letters, or nothing readable.
std::string chunk_name(const std::uint8_t* type) {
  for (int i = 0; i < 4; ++i) {
    if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z'))) {
      return "a chunk";
    }
  }
  return "its " + std::string(reinterpret_cast<const char*>(type), 4) + " chunk";
}

bool is(const std::uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

int samples(int colour_type) {
  switch (colour_type) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 1;  // grey, or a palette index
  }
}

// The depths the format allows for each colour type.
bool allowed(int colour_type, int depth) {
  switch (colour_type) {
    case 0:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
      return depth == 8 || depth == 16;
    default:
      return false;
  }
}

// The bytes of the image data once inflated: every row of every pass, each
// with its filter byte.
std::uint64_t image_data_bytes(const PngShape& s) {
  const auto bits = static_cast<std::uint64_t>(samples(s.colour_type) * s.depth);
  // Adam7's passes: first column, first row, steps; or the whole picture.
  static const std::uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                              {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
                                              {0, 1, 1, 2}};
  static const std::uint32_t kWhole[1][4] = {{0, 0, 1, 1}};
  std::uint64_t total = 0;
  for (int p = 0; p < (s.interlaced ? 7 : 1); ++p) {
    const std::uint32_t* pass = s.interlaced ? kPasses[p] : kWhole[0];
    if (s.width <= pass[0] || s.height <= pass[1]) continue;
    const std::uint64_t columns = (s.width - pass[0] + pass[2] - 1) / pass[2];
    const std::uint64_t rows = (s.height - pass[1] + pass[3] - 1) / pass[3];
    total += rows * (1 + (columns * bits + 7) / 8);
  }
  return total;
}

struct Idat {
  const std::uint8_t* data;
  std::uint32_t length;
};

// Inflates the image data, its checksum checked, and counts it against what
// the picture calls for, stopping as soon as there is more.
bool inflate_image_data(const std::vector<Idat>& pieces, std::uint64_t expected,
                        std::string* reason) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) {
    *reason = "its image data cannot be inflated (no memory)";
    return false;
  }
  std::uint8_t scratch[64 * 1024];
  std::uint64_t total = 0;
  int status = Z_OK;
  for (std::size_t i = 0; i < pieces.size() && status == Z_OK && total <= expected; ++i) {
    z.next_in = const_cast<Bytef*>(pieces[i].data);
    z.avail_in = pieces[i].length;
    while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
      z.next_out = scratch;
      z.avail_out = sizeof scratch;
      status = inflate(&z, Z_NO_FLUSH);
      total += sizeof scratch - z.avail_out;
      if (total > expected) break;
      if (status == Z_BUF_ERROR) status = Z_OK;  // needs the next piece
      if (z.avail_in == 0 && z.avail_out != 0) break;
    }
  }
  const std::string zlib_says = z.msg != nullptr ? z.msg : "";
  inflateEnd(&z);
  if (total > expected) {
    *reason = "it holds more image data than its size calls for";
  } else if (status == Z_DATA_ERROR || status == Z_NEED_DICT) {
    *reason = "its image data is damaged (" + (zlib_says.empty() ? "zlib" : zlib_says) + ")";
  } else if (status != Z_STREAM_END) {
    *reason = "its image data ends early";
  } else if (total < expected) {
    *reason = "it holds less image data than its size calls for";
  } else {
    return true;
  }
  return false;
}

bool refuse(std::string* reason, std::string why) {
  *reason = std::move(why);
  return false;
}

}  // namespace

bool check_png(const std::uint8_t* bytes, std::size_t size, std::uint64_t max_pixels,
               PngShape* shape, std::string* reason) {
  *shape = PngShape();
  std::vector<Idat> image_data;
  bool seen_palette = false;
  for (std::size_t at = kSignature;;) {
    const bool first = at == kSignature;
    if (size - at < kChunkFrame) {
      return refuse(reason, first ? "the file ends after its signature"
                                  : "the file ends before its IEND chunk");
    }
    const std::uint32_t length = read_u32be(bytes + at);
    const std::uint8_t* type = bytes + at + 4;
    const std::uint8_t* data = type + 4;
    if (length > 0x7FFFFFFF || length > size - at - kChunkFrame) {
      return refuse(reason, "the file ends inside " + chunk_name(type));
    }
    if (crc32(crc32(0, Z_NULL, 0), type, static_cast<uInt>(length) + 4) !=
        read_u32be(data + length)) {
      return refuse(reason, "the checksum of " + chunk_name(type) + " fails");
    }
    if (first != is(type, "IHDR")) {
      return refuse(reason,
                    first ? "it does not begin with an IHDR chunk" : "it has two IHDR chunks");
    }
    if (first) {
      if (length != 13) return refuse(reason, "its IHDR chunk is not 13 bytes");
      shape->width = read_u32be(data);
      shape->height = read_u32be(data + 4);
      shape->depth = data[8];
      shape->colour_type = data[9];
      shape->interlaced = data[12] == 1;
      if (shape->width == 0 || shape->height == 0) return refuse(reason, "it holds no pixels");
      if (shape->width > 0x7FFFFFFF || shape->height > 0x7FFFFFFF) {
        return refuse(reason, "its IHDR gives a side past 2147483647");
      }
      if (!allowed(shape->colour_type, shape->depth)) {
        return refuse(reason, "its IHDR gives colour type " + std::to_string(shape->colour_type) +
                                  " at " + std::to_string(shape->depth) +
                                  " bits, which the format does not have");
      }
      if (data[10] != 0 || data[11] != 0 || data[12] > 1) {
        return refuse(reason,
                      "its IHDR gives a compression, filter or interlace method the "
                      "format does not have");
      }
      // No data is inflated for a picture that is refused for its size.
      if (std::uint64_t{shape->width} * shape->height > max_pixels) return true;
    } else if (is(type, "PLTE")) {
      if (seen_palette || !image_data.empty() || length == 0 || length % 3 != 0 ||
          length / 3 > 256) {
        return refuse(reason,
                      "its PLTE chunk is not a palette of 1 to 256 colours before the "
                      "image data");
      }
      seen_palette = true;
      shape->palette_entries = length / 3;
    } else if (is(type, "IDAT")) {
      image_data.push_back(Idat{data, length});
    } else if (is(type, "IEND")) {
      if (length != 0) return refuse(reason, "its IEND chunk is not empty");
      break;
    } else if ((type[0] & 0x20) == 0) {
      return refuse(reason, chunk_name(type) + " is one that must be understood, and is not");
    }
    at += kChunkFrame + length;
  }
  if (shape->colour_type == 3 && !seen_palette) return refuse(reason, "it has no palette");
  if (image_data.empty()) return refuse(reason, "it has no image data");
  return inflate_image_data(image_data, image_data_bytes(*shape), reason);
}

bool has_short_palette(const PngShape& shape) {
  return shape.colour_type == 3 && shape.palette_entries < (std::size_t{1} << shape.depth);
}

std::string with_whole_palette(const std::uint8_t* bytes, std::size_t size, const PngShape& shape,
                               const std::uint8_t filler[3]) {
  std::string file(reinterpret_cast<const char*>(bytes), kSignature);
  for (std::size_t at = kSignature; at + kChunkFrame <= size;) {
    const std::uint32_t length = read_u32be(bytes + at);
    const std::uint8_t* type = bytes + at + 4;
    if (is(type, "PLTE") && has_short_palette(shape)) {
      std::string chunk("PLTE", 4);
      chunk.append(reinterpret_cast<const char*>(type + 4), length);
      for (std::size_t i = shape.palette_entries; i < (std::size_t{1} << shape.depth); ++i) {
        chunk.append(reinterpret_cast<const char*>(filler), 3);
      }
      std::uint8_t length[4], checksum[4];
      put_u32be(length, static_cast<std::uint32_t>(chunk.size() - 4));
      put_u32be(checksum,
                static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()),
                                                 static_cast<uInt>(chunk.size()))));
      file.append(reinterpret_cast<const char*>(length), 4);
      file += chunk;
      file.append(reinterpret_cast<const char*>(checksum), 4);
    } else {
      file.append(reinterpret_cast<const char*>(bytes + at), kChunkFrame + length);
    }
    if (is(type, "IEND")) break;
    at += kChunkFrame + length;
  }
  return file;
}

}  // namespace kestrin::prepare
