// Reading and checking the BMP headers, and the band reader of its pixel rows.

#include "kestrin/bitmap_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "kestrin/byte_order.h"
#include "kestrin/messages.h"

namespace kestrin {

namespace {

// Rows are read in bands of about this size: small enough to stay in the
// cache on their way to the text, large enough that reads are few.
// The band is the program's own, made once: one picture is read at a time.
constexpr std::size_t kBandBytes = 128 * 1024;
constexpr std::size_t kPairBytes = 6;
std::uint8_t g_band[kBandBytes];

std::int32_t read_s32le(const std::uint8_t* p) { return static_cast<std::int32_t>(read_u32le(p)); }

// The header fields print as the C library prints a 32-bit int with "%d".
int as_int(std::uint32_t v) { return static_cast<std::int32_t>(v); }

bool read_exactly(const ByteSource& in, std::uint8_t* buffer, std::size_t size) {
  for (std::size_t got = 0; size > 0; buffer += got, size -= got) {
    if (!in.read(in.context, buffer, size, &got) || got == 0) return false;
  }
  return true;
}

bool read_exactly_at(const ByteSource& in, std::uint64_t offset, std::uint8_t* buffer,
                     std::size_t size) {
  std::size_t got = 0;
  return in.read_at(in.context, offset, buffer, size, &got) && got == size;
}

// Moves a source that cannot seek from the end of the headers to `offset`
// (at or past it).
bool skip_to(const ByteSource& in, std::uint64_t offset) {
  std::uint64_t here = FileHeader::kSize + InfoHeader::kSize;
  std::uint8_t discard[4096];
  while (here < offset) {
    const auto step =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof discard, offset - here));
    if (!read_exactly(in, discard, step)) return false;
    here += step;
  }
  return true;
}

bool fail(std::FILE* console, const char* message) {
  if (console != nullptr) std::fputs(message, console);
  return false;
}

// The bytes the file must hold from the pixel offset on: every row with its
// fill, except that the last row's fill may be missing.
std::uint64_t pixel_bytes(const PixelBuffer& p) {
  return p.height * p.stride - (p.stride - 3 * std::uint64_t{p.width});
}

// A pipe cannot be read backwards: the whole picture waits in memory. The
// buffer grows with the data that arrives, not with what the header claims,
// so a short stream costs no more than it holds.
// Pixel data that starts inside the headers begins with their bytes, as it
// does in a file.
bool read_whole(const ByteSource& in, const FileHeader& header, const InfoHeader& info,
                std::uint64_t needed, PixelBuffer* p, std::FILE* console) {
  if (!skip_to(in, p->offset)) return fail(console, kImageReadFailed);
  if (needed > std::numeric_limits<std::size_t>::max()) return fail(console, kNoMemory);
  std::size_t capacity = static_cast<std::size_t>(std::min<std::uint64_t>(needed, kBandBytes));
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[capacity]);
  if (!bytes) return fail(console, kNoMemory);
  std::size_t have = 0;
  constexpr std::size_t kHeaders = FileHeader::kSize + InfoHeader::kSize;
  if (p->offset < kHeaders) {
    std::uint8_t headers[kHeaders];
    encode_headers(header, info, headers);
    have = static_cast<std::size_t>(std::min<std::uint64_t>(needed, kHeaders - p->offset));
    std::memcpy(bytes.get(), headers + p->offset, have);
  }
  while (have < needed) {
    if (have == capacity) {
      const std::size_t larger =
          static_cast<std::size_t>(std::min<std::uint64_t>(needed, std::uint64_t{capacity} * 2));
      std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[larger]);
      if (!grown) return fail(console, kNoMemory);
      std::memcpy(grown.get(), bytes.get(), have);
      bytes = std::move(grown);
      capacity = larger;
    }
    std::size_t got = 0;
    if (!in.read(in.context, bytes.get() + have, capacity - have, &got) || got == 0) {
      return fail(console, kImageReadFailed);  // a read error, or the stream ended
    }
    have += got;
  }
  p->held = std::move(bytes);
  p->bytes = p->held.get();
  p->capacity = capacity;
  p->whole = true;
  p->band_rows = p->height;
  return true;
}

// Reads the band of whole rows that holds file row `row`, reaching on in the
// order the rows are handed out.
bool read_row_band(PixelBuffer* p, std::uint64_t row) {
  const std::uint64_t per_band = p->capacity / p->stride;
  std::uint64_t first, last;  // file rows, last excluded
  if (p->top_down) {
    first = row;
    last = std::min<std::uint64_t>(p->height, row + per_band);
  } else {
    last = row + 1;
    first = last > per_band ? last - per_band : 0;
  }
  std::uint64_t size = (last - first) * p->stride;
  if (last == p->height) size -= p->stride - 3 * std::uint64_t{p->width};
  p->band_first = first;
  p->band_rows = 0;
  if (!read_exactly_at(p->source, p->offset + first * p->stride, p->bytes,
                       static_cast<std::size_t>(size))) {
    return false;
  }
  p->band_rows = last - first;
  return true;
}

}  // namespace

void encode_headers(const FileHeader& h, const InfoHeader& i, std::uint8_t* b) {
  put_u16le(b, h.bfType);
  put_u32le(b + 2, h.bfSize);
  put_u16le(b + 6, h.bfReserved1);
  put_u16le(b + 8, h.bfReserved2);
  put_u32le(b + 10, h.bfOffBits);
  b += FileHeader::kSize;
  put_u32le(b, i.biSize);
  put_u32le(b + 4, static_cast<std::uint32_t>(i.biWidth));
  put_u32le(b + 8, static_cast<std::uint32_t>(i.biHeight));
  put_u16le(b + 12, i.biPlanes);
  put_u16le(b + 14, i.biBitCount);
  put_u32le(b + 16, i.biCompression);
  put_u32le(b + 20, i.biSizeImage);
  put_u32le(b + 24, static_cast<std::uint32_t>(i.biXPelsPerMeter));
  put_u32le(b + 28, static_cast<std::uint32_t>(i.biYPelsPerMeter));
  put_u32le(b + 32, i.biClrUsed);
  put_u32le(b + 36, i.biClrImportant);
}

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

bool read_file_header(const ByteSource& in, FileHeader* header) {
  std::uint8_t bytes[FileHeader::kSize];
  if (!read_exactly(in, bytes, sizeof bytes)) return false;
  *header = decode_file_header(bytes);
  return true;
}

bool read_info_header(const ByteSource& in, InfoHeader* info) {
  std::uint8_t bytes[InfoHeader::kSize];
  if (!read_exactly(in, bytes, sizeof bytes)) return false;
  *info = decode_info_header(bytes);
  return true;
}

bool check_file_header(const FileHeader& header, std::FILE* console) {
  if (header.bfType != 0x4D42) {
    if (console != nullptr) std::fprintf(console, kBadType, static_cast<unsigned>(header.bfType));
    return false;
  }
  return true;
}

bool check_info_header(const InfoHeader& info, std::FILE* console) {
  std::fprintf(console, kInfoDump1, as_int(info.biSize), info.biWidth, info.biHeight);
  std::fprintf(console, kInfoDump2, static_cast<int>(info.biPlanes),
               static_cast<int>(info.biBitCount), as_int(info.biCompression),
               as_int(info.biSizeImage));
  return check_info_fields(info, console);
}

bool check_info_fields(const InfoHeader& info, std::FILE* console) {
  const char* message;
  int value;
  if (info.biSize != InfoHeader::kSize) {
    message = kBadHeaderSize;
    value = as_int(info.biSize);
  } else if (info.biWidth < 0) {
    message = kBadWidth;
    value = info.biWidth;
  } else if (info.biWidth % 2 != 0) {
    message = kOddWidth;
    value = info.biWidth;
  } else if (info.biCompression != 0) {
    message = kCompression;
    value = as_int(info.biCompression);
  } else if (info.biClrUsed != 0) {
    message = kIndexedColours;
    value = as_int(info.biClrUsed);
  } else if (info.biPlanes != 1) {
    message = kPlanes;
    value = info.biPlanes;
  } else if (info.biBitCount != 24) {
    message = kBitCount;
    value = info.biBitCount;
  } else {
    return true;
  }
  if (console != nullptr) std::fprintf(console, message, value);
  return false;
}

bool load_pixels(const ByteSource& in, const InfoHeader& info, const FileHeader& header,
                 PixelBuffer* pixels, std::FILE* console) {
  *pixels = PixelBuffer();
  PixelBuffer& p = *pixels;
  // 64-bit sizes: a 32-bit product of header values alone can overflow.
  const std::int64_t height = info.biHeight;
  p.width = info.biWidth > 0 ? static_cast<std::uint32_t>(info.biWidth) : 0;
  p.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
  p.top_down = height < 0;
  p.stride = 3 * std::uint64_t{p.width} + p.width % 4;  // rows are padded to four bytes
  p.offset = header.bfOffBits;
  p.source = in;
  if (p.width == 0 || p.height == 0) return true;  // an empty picture needs no pixel data

  // Refuse before allocating or reading: a short file must cost nothing for
  // what it does not hold.
  const std::uint64_t needed = pixel_bytes(p);
  if (in.size >= 0) {
    const auto file_size = static_cast<std::uint64_t>(in.size);
    if (p.offset >= file_size || needed > file_size - p.offset) {
      return fail(console, kImageReadFailed);
    }
  }

  if (in.read_at == nullptr) return read_whole(in, header, info, needed, pixels, console);
  // A band of whole rows, or of one row's pairs when a row is longer.
  p.capacity = p.stride <= kBandBytes
                   ? static_cast<std::size_t>(
                         std::min<std::uint64_t>(p.height, kBandBytes / p.stride) * p.stride)
                   : kBandBytes / kPairBytes * kPairBytes;
  p.bytes = g_band;
  return true;
}

RunResult next_pixel_run(PixelBuffer* pixels, PixelRun* run) {
  PixelBuffer& p = *pixels;
  if (p.next_row >= p.height) return RunResult::kEnd;
  const std::uint64_t row_pairs = p.width / 2;
  const std::uint64_t row = p.top_down ? p.next_row : p.height - 1 - p.next_row;
  *run = PixelRun();
  run->ends_row = true;

  if (row_pairs == 0) {
    // Nothing to read: the row is an empty line.
  } else if (p.whole || p.stride <= p.capacity) {
    if (row < p.band_first || row >= p.band_first + p.band_rows) {
      if (!read_row_band(&p, row)) return RunResult::kReadFailed;
    }
    run->pixels = p.bytes + (row - p.band_first) * p.stride;
    run->pairs = static_cast<std::size_t>(row_pairs);
  } else {
    // A row longer than the band comes in pieces, left to right.
    const std::uint64_t count =
        std::min<std::uint64_t>(p.capacity / kPairBytes, row_pairs - p.next_pair);
    if (!read_exactly_at(p.source, p.offset + row * p.stride + kPairBytes * p.next_pair, p.bytes,
                         static_cast<std::size_t>(kPairBytes * count))) {
      return RunResult::kReadFailed;
    }
    run->pixels = p.bytes;
    run->pairs = static_cast<std::size_t>(count);
    run->first_pair = p.next_pair;
    p.next_pair += count;
    run->ends_row = p.next_pair == row_pairs;
    if (!run->ends_row) return RunResult::kRun;
    p.next_pair = 0;
  }
  ++p.next_row;
  return RunResult::kRun;
}

}  // namespace kestrin
