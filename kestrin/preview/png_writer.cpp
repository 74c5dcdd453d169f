// The PNG's chunks, its zlib stream of stored blocks, and their checksums.

#include "kestrin/preview/png_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "kestrin/preview/checksums.h"

namespace kestrin::preview {

namespace {

// A stored block holds at most 65535 bytes; an IDAT chunk holds four of them,
// so each write to the sink is about 256 KiB. The chunk is the program's own,
// made once: one picture is written at a time.
constexpr std::size_t kBlockMax = 65535;
constexpr std::size_t kBlockHeader = 5;  // final flag and type, LEN, NLEN
constexpr std::size_t kChunkHead = 8;    // length, type
constexpr std::size_t kZlibHeader = 2;
constexpr std::size_t kAdler = 4;
constexpr std::size_t kCrc = 4;
constexpr std::size_t kChunkSize =
    kChunkHead + kZlibHeader + 4 * (kBlockHeader + kBlockMax) + kAdler + kCrc;
std::uint8_t g_chunk[kChunkSize];

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
// Deflate with a 32 KiB window, no dictionary, "fastest": a multiple of 31.
constexpr std::uint8_t kZlibHead[kZlibHeader] = {0x78, 0x01};

void put_u32be(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

bool write(PngWriter* png, const std::uint8_t* bytes, std::size_t size) {
  if (!png->failed &&
      !png->sink.write(png->sink.context, reinterpret_cast<const char*>(bytes), size)) {
    png->failed = true;
  }
  return !png->failed;
}

// Sends the IDAT chunk filled so far and starts the next.
void flush_chunk(PngWriter* png) {
  put_u32be(png->chunk, static_cast<std::uint32_t>(png->used - kChunkHead));
  put_u32be(png->chunk + png->used, crc32(0, png->chunk + 4, png->used - 4));
  write(png, png->chunk, png->used + kCrc);
  png->used = kChunkHead;
}

void start_block(PngWriter* png) {
  if (png->used + kBlockHeader + kBlockMax + kAdler + kCrc > kChunkSize) flush_chunk(png);
  const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(png->left, kBlockMax));
  std::uint8_t* p = png->chunk + png->used;
  p[0] = size == png->left ? 1 : 0;  // the last block is final; all are stored
  p[1] = static_cast<std::uint8_t>(size);
  p[2] = static_cast<std::uint8_t>(size >> 8);
  p[3] = static_cast<std::uint8_t>(~size);
  p[4] = static_cast<std::uint8_t>(~size >> 8);
  png->used += kBlockHeader;
  png->block_left = size;
}

}  // namespace

std::uint64_t png_picture_bytes(std::uint32_t width, std::uint32_t height, unsigned channels) {
  const std::uint64_t row = 1 + std::uint64_t{width} * channels;
  if (height != 0 && row > std::numeric_limits<std::uint64_t>::max() / height) return 0;
  return row * height;
}

bool png_begin(PngWriter* png, platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               unsigned channels) {
  *png = PngWriter();
  png->sink = sink;
  png->chunk = g_chunk;
  png->left = png_picture_bytes(width, height, channels);

  std::uint8_t head[sizeof kSignature + kChunkHead + 13 + kCrc];
  std::memcpy(head, kSignature, sizeof kSignature);
  std::uint8_t* ihdr = head + sizeof kSignature;
  put_u32be(ihdr, 13);
  std::memcpy(ihdr + 4, "IHDR", 4);
  put_u32be(ihdr + 8, width);
  put_u32be(ihdr + 12, height);
  ihdr[16] = 8;                        // bits a channel
  ihdr[17] = channels == 4 ? 6 : 2;    // colour type: RGBA or RGB
  ihdr[18] = ihdr[19] = ihdr[20] = 0;  // deflate, adaptive filters, no interlace
  put_u32be(ihdr + 21, crc32(0, ihdr + 4, 4 + 13));

  std::memcpy(png->chunk + 4, "IDAT", 4);
  std::memcpy(png->chunk + kChunkHead, kZlibHead, kZlibHeader);
  png->used = kChunkHead + kZlibHeader;
  return write(png, head, sizeof head);
}

bool png_put(PngWriter* png, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0 && !png->failed) {
    if (png->block_left == 0) {
      if (png->left == 0) return false;  // more than the picture holds
      start_block(png);
    }
    const std::size_t n = std::min(size, png->block_left);
    std::memcpy(png->chunk + png->used, bytes, n);
    png->adler = adler32(png->adler, bytes, n);
    png->used += n;
    png->block_left -= n;
    png->left -= n;
    bytes += n;
    size -= n;
  }
  return !png->failed;
}

bool png_finish(PngWriter* png) {
  if (png->left != 0) return false;
  put_u32be(png->chunk + png->used, png->adler);
  png->used += kAdler;
  flush_chunk(png);
  return write(png, kIend, sizeof kIend);
}

}  // namespace kestrin::preview
