// The BMP's headers checked in the order of their fields, and the file laid out anew for the
// decoder.

#include "kestrin/prepare/bmp_layout.h"

#include <algorithm>

#include "kestrin/byte_order.h"

namespace kestrin::prepare {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kLaidOutHeader = 108;  // BITMAPV4HEADER: the bit fields inside

std::uint8_t* byte_at(std::string* bytes, std::size_t offset) {
  return reinterpret_cast<std::uint8_t*>(&(*bytes)[offset]);
}

bool refuse(std::string* reason, bool* unsupported, bool is_unsupported, std::string why) {
  *reason = std::move(why);
  *unsupported = is_unsupported;
  return false;
}

// The fields that matter, whatever the header's size.
struct Fields {
  std::uint32_t header_size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: stored top row first
  std::uint32_t planes = 0;
  std::uint32_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::size_t palette_at = 0;             // the first palette entry
  std::size_t entry_size = 4;             // bytes a palette entry
};

// Whether a palette index of the pixels is one the palette does not have.
bool names_a_missing_entry(const std::uint8_t* pixels, std::size_t size, const Fields& f,
                           std::uint32_t width, std::uint32_t rows, std::size_t entries) {
  const std::size_t stride = (std::size_t{width} * f.bits + 31) / 32 * 4;
  const unsigned per_byte = 8 / f.bits;
  for (std::uint32_t r = 0; r < rows && std::size_t{r} * stride < size; ++r) {
    const std::uint8_t* row = pixels + r * stride;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::size_t at = x / per_byte;
      if (r * stride + at >= size) break;  // the decoder tells a short file
      const unsigned shift = 8 - f.bits * (x % per_byte + 1);
      if (((row[at] >> shift) & ((1u << f.bits) - 1)) >= entries) return true;
    }
  }
  return false;
}

}  // namespace

bool lay_out_bmp(const std::uint8_t* bytes, std::size_t size, std::uint64_t max_pixels,
                 BmpLayout* layout, std::string* reason, bool* unsupported) {
  *layout = BmpLayout();
  *unsupported = false;
  Fields f;
  if (size < kFileHeader + 4)
    return refuse(reason, unsupported, false, "the file ends inside its headers");
  const std::uint32_t pixel_offset = read_u32le(bytes + 10);
  f.header_size = read_u32le(bytes + 14);
  const std::uint32_t h = f.header_size;
  if (h != 12 && h != 40 && h != 52 && h != 56 && h != 108 && h != 124) {
    return refuse(reason, unsupported, true,
                  "its info header of " + std::to_string(h) + " bytes is of no kind that is read");
  }
  if (size < kFileHeader + h)
    return refuse(reason, unsupported, false, "the file ends inside its headers");
  const std::uint8_t* info = bytes + kFileHeader;
  if (h == 12) {  // OS/2: 16-bit sizes, no compression, 3-byte palette entries
    f.width = read_u16le(info + 4);
    f.height = read_u16le(info + 6);
    f.planes = read_u16le(info + 8);
    f.bits = read_u16le(info + 10);
    f.entry_size = 3;
  } else {
    f.width = static_cast<std::int32_t>(read_u32le(info + 4));
    f.height = static_cast<std::int32_t>(read_u32le(info + 8));
    f.planes = read_u16le(info + 12);
    f.bits = read_u16le(info + 14);
    f.compression = read_u32le(info + 16);
    f.colours_used = read_u32le(info + 32);
  }
  if (f.width < 0)
    return refuse(reason, unsupported, false, "its width is " + std::to_string(f.width));
  if (f.width == 0 || f.height == 0)
    return refuse(reason, unsupported, false, "it holds no pixels");
  if (f.planes != 1) {
    return refuse(reason, unsupported, false,
                  "it gives " + std::to_string(f.planes) + " planes, not 1");
  }
  if (f.bits == 2) return refuse(reason, unsupported, true, "2 bits a pixel are not read");
  if (f.bits != 1 && f.bits != 4 && f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32) {
    return refuse(reason, unsupported, false,
                  "it gives " + std::to_string(f.bits) + " bits a pixel, which BMP does not have");
  }
  const bool bit_fields = f.compression == 3 || f.compression == 6;
  if (f.compression == 1 || f.compression == 2) {
    return refuse(reason, unsupported, true, "it is RLE-compressed; save it uncompressed");
  }
  if (f.compression == 4 || f.compression == 5) {
    return refuse(reason, unsupported, true, "it holds a JPEG or a PNG; save it uncompressed");
  }
  if (f.compression != 0 && !bit_fields) {
    return refuse(reason, unsupported, false,
                  "its compression " + std::to_string(f.compression) + " is unknown");
  }
  if (bit_fields && f.bits != 16 && f.bits != 32) {
    return refuse(
        reason, unsupported, false,
        "it gives bit fields to a picture of " + std::to_string(f.bits) + " bits a pixel");
  }
  // Bit fields stand inside a header of 52 bytes or more, after one of 40.
  std::size_t masks_at = kFileHeader + 40;
  const std::size_t masks = h >= 56 || f.compression == 6 ? 4 : 3;
  f.palette_at = kFileHeader + h;
  if (h == 40 && bit_fields) f.palette_at += 4 * masks;
  if (bit_fields) {
    if (size < masks_at + 4 * masks)
      return refuse(reason, unsupported, false, "the file ends inside its headers");
    for (std::size_t i = 0; i < masks; ++i) f.masks[i] = read_u32le(bytes + masks_at + 4 * i);
  }

  const auto width = static_cast<std::uint32_t>(f.width);
  const auto rows = static_cast<std::uint32_t>(f.height < 0 ? -f.height : f.height);
  layout->width = width;
  layout->height = rows;
  if (std::uint64_t{width} * rows > max_pixels) return true;  // refused for its size
  if (pixel_offset > size)
    return refuse(reason, unsupported, false, "the file ends before its pixels");
  if (pixel_offset < f.palette_at) {
    return refuse(reason, unsupported, false, "its pixels begin inside its headers");
  }

  const std::size_t full = f.bits <= 8 ? std::size_t{1} << f.bits : 0;
  std::size_t entries = 0;
  if (full != 0) {
    entries = f.colours_used != 0 ? f.colours_used : full;
    entries = std::min({entries, full, (pixel_offset - f.palette_at) / f.entry_size});
    if (names_a_missing_entry(bytes + pixel_offset, size - pixel_offset, f, width, rows, entries)) {
      return refuse(reason, unsupported, false, "its pixels use palette entries it does not have");
    }
  }

  std::string& out = layout->rewritten;
  const std::uint32_t start = static_cast<std::uint32_t>(kFileHeader + kLaidOutHeader + 4 * full);
  out.assign(start, '\0');
  out[0] = 'B';
  out[1] = 'M';
  put_u32le(byte_at(&out, 2), static_cast<std::uint32_t>(start + (size - pixel_offset)));
  put_u32le(byte_at(&out, 10), start);
  put_u32le(byte_at(&out, 14), kLaidOutHeader);
  put_u32le(byte_at(&out, 18), width);
  put_u32le(byte_at(&out, 22), static_cast<std::uint32_t>(f.height));  // the sign kept
  out[26] = 1;                                                         // planes
  out[28] = static_cast<char>(f.bits);
  put_u32le(byte_at(&out, 30), bit_fields ? 3 : 0);
  put_u32le(byte_at(&out, 46), static_cast<std::uint32_t>(full));
  for (int i = 0; i < 4; ++i) put_u32le(byte_at(&out, 54 + 4 * i), f.masks[i]);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::uint8_t* entry = bytes + f.palette_at + i * f.entry_size;
    const std::size_t at = kFileHeader + kLaidOutHeader + 4 * i;
    out[at] = static_cast<char>(entry[0]);  // blue, green, red
    out[at + 1] = static_cast<char>(entry[1]);
    out[at + 2] = static_cast<char>(entry[2]);
  }
  out.append(reinterpret_cast<const char*>(bytes + pixel_offset), size - pixel_offset);
  return true;
}

}  // namespace kestrin::prepare
