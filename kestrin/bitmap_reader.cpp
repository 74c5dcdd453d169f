#include "kestrin/bitmap_reader.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "kestrin/messages.h"

namespace {

std::uint16_t read_u16le(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t read_u32le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t read_s32le(const std::uint8_t* p) { return static_cast<std::int32_t>(read_u32le(p)); }

// The header fields print as the C library prints a 32-bit int with "%d".
int as_int(std::uint32_t v) { return static_cast<std::int32_t>(v); }

// Size of a seekable stream, or -1 for pipes and the like.
off_t stream_size(std::FILE* in) {
  const off_t here = ftello(in);
  if (here < 0 || fseeko(in, 0, SEEK_END) != 0) return -1;
  const off_t end = ftello(in);
  if (fseeko(in, here, SEEK_SET) != 0) return -1;
  return end;
}

// Moves to `offset`; a stream that cannot seek is advanced by reading, which
// only works forward from the end of the headers.
bool move_to(std::FILE* in, std::uint64_t offset) {
  if (offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) &&
      fseeko(in, static_cast<off_t>(offset), SEEK_SET) == 0) {
    return true;
  }
  std::uint64_t here = FileHeader::kSize + InfoHeader::kSize;
  if (offset < here) return false;
  char discard[4096];
  while (here < offset) {
    const std::size_t step =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof discard, offset - here));
    if (std::fread(discard, 1, step, in) != step) return false;
    here += step;
  }
  return true;
}

bool fail(std::FILE* console, const char* message) {
  std::fputs(message, console);
  return false;
}

}  // namespace

FileHeader decode_file_header(const std::uint8_t (&b)[FileHeader::kSize]) {
  FileHeader h;
  h.bfType = read_u16le(b + 0);
  h.bfSize = read_u32le(b + 2);
  h.bfReserved1 = read_u16le(b + 6);
  h.bfReserved2 = read_u16le(b + 8);
  h.bfOffBits = read_u32le(b + 10);
  return h;
}

InfoHeader decode_info_header(const std::uint8_t (&b)[InfoHeader::kSize]) {
  InfoHeader h;
  h.biSize = read_u32le(b + 0);
  h.biWidth = read_s32le(b + 4);
  h.biHeight = read_s32le(b + 8);
  h.biPlanes = read_u16le(b + 12);
  h.biBitCount = read_u16le(b + 14);
  h.biCompression = read_u32le(b + 16);
  h.biSizeImage = read_u32le(b + 20);
  h.biXPelsPerMeter = read_s32le(b + 24);
  h.biYPelsPerMeter = read_s32le(b + 28);
  h.biClrUsed = read_u32le(b + 32);
  h.biClrImportant = read_u32le(b + 36);
  return h;
}

bool read_file_header(std::FILE* in, FileHeader* header) {
  std::uint8_t bytes[FileHeader::kSize];
  if (std::fread(bytes, sizeof bytes, 1, in) != 1) return false;
  *header = decode_file_header(bytes);
  return true;
}

bool read_info_header(std::FILE* in, InfoHeader* info) {
  std::uint8_t bytes[InfoHeader::kSize];
  if (std::fread(bytes, sizeof bytes, 1, in) != 1) return false;
  *info = decode_info_header(bytes);
  return true;
}

bool check_file_header(const FileHeader& header, std::FILE* console) {
  if (header.bfType != 0x4D42) {
    std::fprintf(console, msg::kBadType, static_cast<unsigned>(header.bfType));
    return false;
  }
  return true;
}

bool check_info_header(const InfoHeader& info, std::FILE* console) {
  std::fprintf(console, msg::kInfoDump1, as_int(info.biSize), info.biWidth, info.biHeight);
  std::fprintf(console, msg::kInfoDump2, static_cast<int>(info.biPlanes),
               static_cast<int>(info.biBitCount), as_int(info.biCompression),
               as_int(info.biSizeImage));

  if (info.biSize != InfoHeader::kSize) {
    std::fprintf(console, msg::kBadHeaderSize, as_int(info.biSize));
  } else if (info.biWidth < 0) {
    std::fprintf(console, msg::kBadWidth, info.biWidth);
  } else if (info.biWidth % 2 != 0) {
    std::fprintf(console, msg::kOddWidth, info.biWidth);
  } else if (info.biCompression != 0) {
    std::fprintf(console, msg::kCompression, as_int(info.biCompression));
  } else if (info.biClrUsed != 0) {
    std::fprintf(console, msg::kIndexedColours, as_int(info.biClrUsed));
  } else if (info.biPlanes != 1) {
    std::fprintf(console, msg::kPlanes, static_cast<int>(info.biPlanes));
  } else if (info.biBitCount != 24) {
    std::fprintf(console, msg::kBitCount, static_cast<int>(info.biBitCount));
  } else {
    return true;
  }
  return false;
}

bool load_pixels(std::FILE* in, const InfoHeader& info, const FileHeader& header,
                 PixelBuffer* pixels, std::FILE* console) {
  // 64-bit sizes: a 32-bit product of header values alone can overflow.
  const std::uint64_t width = info.biWidth > 0 ? static_cast<std::uint64_t>(info.biWidth) : 0;
  const bool top_down = info.biHeight < 0;
  const std::uint64_t rows =
      top_down
          ? std::uint64_t{0} - static_cast<std::uint64_t>(static_cast<std::int64_t>(info.biHeight))
          : static_cast<std::uint64_t>(info.biHeight);
  const std::uint64_t row_bytes = 3 * width;
  const std::uint64_t fill = width % 4;  // rows are padded to a multiple of four bytes

  pixels->width = static_cast<std::uint32_t>(width);
  pixels->height = static_cast<std::uint32_t>(rows);
  pixels->bytes.reset();
  if (width == 0 || rows == 0) return true;  // an empty picture needs no pixel data

  // Refuse before allocating: a short file must not cost memory for what it
  // does not hold. The last row's fill may be missing.
  const std::uint64_t needed = rows * (row_bytes + fill) - fill;
  const off_t size = stream_size(in);
  if (size >= 0) {
    const auto file_size = static_cast<std::uint64_t>(size);
    if (header.bfOffBits >= file_size || needed > file_size - header.bfOffBits) {
      return fail(console, msg::kImageReadFailed);
    }
  }
  if (!move_to(in, header.bfOffBits)) return fail(console, msg::kImageReadFailed);

  const std::uint64_t total = rows * row_bytes;
  if (total > std::numeric_limits<std::size_t>::max()) return fail(console, msg::kNoMemory);
  auto* bytes = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(total)));
  if (bytes == nullptr) return fail(console, msg::kNoMemory);
  pixels->bytes.reset(bytes);

  const auto row_size = static_cast<std::size_t>(row_bytes);
  char fill_bytes[3];
  for (std::uint64_t r = 0; r < rows; ++r) {
    const std::uint64_t target_row = top_down ? rows - 1 - r : r;
    if (std::fread(bytes + target_row * row_bytes, 1, row_size, in) != row_size) {
      pixels->bytes.reset();
      return fail(console, msg::kImageReadFailed);
    }
    // Fill is skipped, not checked: a file cut inside the last row's fill loads.
    if (fill != 0 && r + 1 < rows) {
      (void)!std::fread(fill_bytes, 1, static_cast<std::size_t>(fill), in);
    }
  }
  return true;
}
