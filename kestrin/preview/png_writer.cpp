// The PNG's chunks, its palette when a survey found one, its rows filtered
// and deflated by zlib, and their CRCs.

#include "kestrin/preview/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "kestrin/byte_order.h"
#include "kestrin/preview/row_filters.h"

namespace kestrin::preview {

namespace {

// Chosen by measuring (bench/README.md): the size of the benchmark's
// previews against the time of the largest. Rows of flat colour compress
// best at zlib's level 9, its search for matches cut to 512 candidates,
// which costs them about 1 % and halves the time of the largest. Grainy rows
// do not: their few and short matches cost the search its time and save
// nothing (or worse), and runs of equal bytes are all there is to find. The
// rows choose for the rows after them, a band at a time, by how many of
// their bytes repeat the byte to their left or above.
constexpr int kLevel = 9;
constexpr int kMemoryLevel = 9;
constexpr int kGoodLength = 32, kMaxLazy = 258, kNiceLength = 258, kMaxChain = 512;
constexpr int kFlatStrategy = Z_DEFAULT_STRATEGY;
constexpr int kGrainyStrategy = Z_RLE;
constexpr std::size_t kBand = 128 * 1024;  // bytes between two choices

// Each write to the sink is one IDAT chunk of up to 256 KiB of deflated
// data. The chunk and the rows are the program's own, made once: one picture
// is written at a time, and pages never touched cost no memory.
constexpr std::size_t kChunkHead = 8;  // length, type
constexpr std::size_t kCrc = 4;
constexpr std::size_t kChunkData = 256 * 1024;
std::uint8_t g_chunk[kChunkHead + kChunkData + kCrc];
std::uint8_t g_rows[2][kPngHeldRow];
std::uint8_t g_filtered[1 + kPngHeldRow];
std::uint8_t* g_above = g_rows[0];
std::uint8_t* g_row = g_rows[1];
z_stream g_stream;

// The colours a survey found, each packed as red, green, blue, alpha from the
// most significant byte, in a table of open addressing that also gives each
// its palette index.
constexpr unsigned kPaletteMax = 256;
constexpr std::size_t kSlots = 1024;  // a power of two, four times the palette
struct ColourTable {
  std::uint32_t colour[kSlots];
  std::uint16_t index[kSlots];
  bool used[kSlots];
  std::uint32_t palette[kPaletteMax + 1];  // by index
  std::uint32_t last_colour;               // the last pixel's, and its slot
  std::size_t last_slot;
};
ColourTable g_colours;

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

std::uint32_t packed(const std::uint8_t* pixel, unsigned channels) {
  return std::uint32_t{pixel[0]} << 24 | std::uint32_t{pixel[1]} << 16 |
         std::uint32_t{pixel[2]} << 8 | (channels == 4 ? pixel[3] : 0xFFu);
}

// The colour's slot: where it is, or the free one where it would go.
std::size_t slot_of(std::uint32_t colour) {
  ColourTable& t = g_colours;
  if (colour == t.last_colour && t.used[t.last_slot]) return t.last_slot;
  std::size_t slot = (colour * 2654435761u) >> 22;  // the top ten bits
  while (t.used[slot] && t.colour[slot] != colour) slot = (slot + 1) % kSlots;
  t.last_colour = colour;
  t.last_slot = slot;
  return slot;
}

void survey(PngWriter* png, const std::uint8_t* pixels, std::size_t count) {
  ColourTable& t = g_colours;
  for (std::size_t i = 0; i < count && png->colours <= kPaletteMax; ++i) {
    const std::uint32_t colour = packed(pixels + i * png->channels, png->channels);
    const std::size_t slot = slot_of(colour);
    if (t.used[slot]) continue;
    t.used[slot] = true;
    t.colour[slot] = colour;
    t.index[slot] = static_cast<std::uint16_t>(png->colours);
    t.palette[png->colours++] = colour;
  }
}

// Orders the palette as the survey met the colours, those with any
// transparency first, so that the tRNS chunk stops at the last of them;
// returns how many those are.
unsigned order_palette(unsigned colours) {
  ColourTable& t = g_colours;
  std::stable_partition(t.palette, t.palette + colours,
                        [](std::uint32_t c) { return (c & 0xFF) != 0xFF; });
  unsigned translucent = 0;
  for (unsigned i = 0; i < colours; ++i) {
    t.index[slot_of(t.palette[i])] = static_cast<std::uint16_t>(i);
    if ((t.palette[i] & 0xFF) != 0xFF) translucent = i + 1;
  }
  return translucent;
}

// The CRC of a chunk's type and data, which start 4 bytes into `chunk`.
std::uint32_t chunk_crc(const std::uint8_t* chunk, std::size_t data_size) {
  return static_cast<std::uint32_t>(crc32(0, chunk + 4, static_cast<uInt>(4 + data_size)));
}

bool write(PngWriter* png, const std::uint8_t* bytes, std::size_t size) {
  if (!png->failed &&
      !png->sink.write(png->sink.context, reinterpret_cast<const char*>(bytes), size)) {
    png->failed = true;
  }
  return !png->failed;
}

// Writes one whole chunk of `size` bytes of data, which `chunk` holds from 8
// bytes in, with 4 bytes of room after them for the CRC.
bool write_chunk(PngWriter* png, std::uint8_t* chunk, const char* type, std::size_t size) {
  put_u32be(chunk, static_cast<std::uint32_t>(size));
  std::memcpy(chunk + 4, type, 4);
  put_u32be(chunk + kChunkHead + size, chunk_crc(chunk, size));
  return write(png, chunk, kChunkHead + size + kCrc);
}

// Sends the IDAT chunk filled so far and starts the next.
void send_idat(PngWriter* png) {
  write_chunk(png, g_chunk, "IDAT", kChunkData - g_stream.avail_out);
  g_stream.next_out = g_chunk + kChunkHead;
  g_stream.avail_out = static_cast<uInt>(kChunkData);
}

// Deflates `size` bytes of filtered rows.
bool deflate_bytes(PngWriter* png, const std::uint8_t* bytes, std::size_t size) {
  // zlib counts in 32 bits; kPngHeldRow and the callers' pieces stay far below.
  g_stream.next_in = const_cast<Bytef*>(bytes);
  g_stream.avail_in = static_cast<uInt>(size);
  while (g_stream.avail_in > 0 && !png->failed) {
    if (g_stream.avail_out == 0) send_idat(png);
    if (deflate(&g_stream, Z_NO_FLUSH) == Z_STREAM_ERROR) png->failed = true;
  }
  return !png->failed;
}

// Counts a row's repeated bytes; at the end of a band, sets the strategy
// for the next from them: flat when half of them repeat.
bool choose_strategy(PngWriter* png, std::size_t repeated, std::size_t size) {
  png->band_repeated += repeated;
  png->band_bytes += size;
  if (png->band_bytes < kBand) return true;
  const int strategy = png->band_repeated * 2 >= png->band_bytes ? kFlatStrategy : kGrainyStrategy;
  png->band_repeated = png->band_bytes = 0;
  if (strategy == png->strategy) return true;
  png->strategy = strategy;
  // Changing the strategy ends the deflate block so far, which needs room.
  for (;;) {
    if (g_stream.avail_out == 0) send_idat(png);
    const int result = deflateParams(&g_stream, kLevel, strategy);
    if (result == Z_OK) return true;
    if (result != Z_BUF_ERROR || g_stream.avail_out != 0 || png->failed) return false;
  }
}

// The current row is complete: it goes out filtered, and becomes the row above.
bool put_held_row(PngWriter* png) {
  if (png->first_row) std::memset(g_above, 0, png->row_bytes);
  std::size_t repeated = 0;
  if (png->palette) {
    // Indices are no quantities: no filter predicts them, and deflate finds
    // their repeats as they are.
    g_filtered[0] = kFilterNone;
    std::memcpy(g_filtered + 1, g_row, png->row_bytes);
  } else {
    repeated = filter_row(g_row, g_above, png->row_bytes, png->channels, g_filtered);
  }
  std::uint8_t* done = g_row;
  g_row = g_above;
  g_above = done;
  png->first_row = false;
  if (!png->palette && !choose_strategy(png, repeated, png->row_bytes)) return false;
  return deflate_bytes(png, g_filtered, 1 + png->row_bytes);
}

// Puts `count` pixels as palette indices into the current row.
bool put_indices(PngWriter* png, const std::uint8_t* pixels, std::size_t count) {
  const ColourTable& t = g_colours;
  const unsigned depth = png->bit_depth;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t slot = slot_of(packed(pixels + i * png->channels, png->channels));
    if (!t.used[slot]) {
      png->stray_colour = true;
      return false;
    }
    const std::uint32_t x = png->row_pixels + static_cast<std::uint32_t>(i);
    if (depth == 8) {
      g_row[x] = static_cast<std::uint8_t>(t.index[slot]);
    } else {
      const std::size_t bit = std::size_t{x} * depth;
      g_row[bit / 8] |= static_cast<std::uint8_t>(t.index[slot] << (8 - depth - bit % 8));
    }
  }
  return true;
}

}  // namespace

std::uint64_t png_picture_bytes(std::uint32_t width, std::uint32_t height, unsigned channels) {
  const std::uint64_t row = 1 + std::uint64_t{width} * channels;
  if (height != 0 && row > std::numeric_limits<std::uint64_t>::max() / height) return 0;
  return row * height;
}

void png_begin_survey(PngWriter* png, std::uint32_t width, std::uint32_t height,
                      unsigned channels) {
  *png = PngWriter();
  png->width = width;
  png->channels = channels;
  png->rows_left = height;
  png->surveying = true;
  std::memset(g_colours.used, 0, sizeof g_colours.used);
}

bool png_survey_settled(const PngWriter& png) { return png.colours > kPaletteMax; }

bool png_begin(PngWriter* png, platform::ByteSink sink, std::uint32_t width, std::uint32_t height,
               unsigned channels) {
  // A survey of this picture, of every pixel, that found few enough colours.
  const bool palette =
      png->surveyed && png->width == width && png->channels == channels && width <= kPngHeldRow;
  const unsigned colours = palette ? png->colours : 0;
  *png = PngWriter();
  png->sink = sink;
  png->width = width;
  png->channels = channels;
  png->rows_left = height;
  png->palette = palette;
  if (palette) {
    png->bit_depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
    png->row_bytes = (std::size_t{width} * png->bit_depth + 7) / 8;
  } else {
    png->row_bytes = std::size_t{width} * channels;
  }
  png->held = png->row_bytes <= kPngHeldRow;

  // The signature, IHDR and, with a palette, PLTE and tRNS, in one write.
  std::uint8_t head[8 + (12 + 13) + (12 + 3 * kPaletteMax) + (12 + kPaletteMax)];
  std::size_t used = sizeof kSignature;
  std::memcpy(head, kSignature, sizeof kSignature);
  std::uint8_t* ihdr = head + used;
  put_u32be(ihdr + 8, width);
  put_u32be(ihdr + 12, height);
  ihdr[16] = static_cast<std::uint8_t>(png->bit_depth);
  ihdr[17] = palette ? 3 : channels == 4 ? 6 : 2;  // colour type: palette, RGBA or RGB
  ihdr[18] = ihdr[19] = ihdr[20] = 0;              // deflate, adaptive filters, no interlace
  put_u32be(ihdr, 13);
  std::memcpy(ihdr + 4, "IHDR", 4);
  put_u32be(ihdr + 21, chunk_crc(ihdr, 13));
  used += 12 + 13;
  if (palette) {
    const unsigned translucent = order_palette(colours);
    std::uint8_t* plte = head + used;
    for (unsigned i = 0; i < colours; ++i) {
      const std::uint32_t c = g_colours.palette[i];
      plte[8 + 3 * i] = static_cast<std::uint8_t>(c >> 24);
      plte[9 + 3 * i] = static_cast<std::uint8_t>(c >> 16);
      plte[10 + 3 * i] = static_cast<std::uint8_t>(c >> 8);
    }
    put_u32be(plte, 3 * colours);
    std::memcpy(plte + 4, "PLTE", 4);
    put_u32be(plte + 8 + 3 * colours, chunk_crc(plte, 3 * colours));
    used += 12 + 3 * colours;
    if (translucent > 0) {
      std::uint8_t* trns = head + used;
      for (unsigned i = 0; i < translucent; ++i) {
        trns[8 + i] = static_cast<std::uint8_t>(g_colours.palette[i]);
      }
      put_u32be(trns, translucent);
      std::memcpy(trns + 4, "tRNS", 4);
      put_u32be(trns + 8 + translucent, chunk_crc(trns, translucent));
      used += 12 + translucent;
    }
  }

  g_stream = z_stream();
  if (deflateInit2(&g_stream, kLevel, Z_DEFLATED, 15, kMemoryLevel, kFlatStrategy) != Z_OK) {
    png->failed = true;
    return false;
  }
  png->deflating = true;
  deflateTune(&g_stream, kGoodLength, kMaxLazy, kNiceLength, kMaxChain);
  g_stream.next_out = g_chunk + kChunkHead;
  g_stream.avail_out = static_cast<uInt>(kChunkData);
  return write(png, head, used);
}

bool png_put(PngWriter* png, const std::uint8_t* pixels, std::size_t size) {
  std::size_t count = size / png->channels;
  while (count > 0 && !png->failed && !png->stray_colour) {
    if (png->rows_left == 0) return false;  // more than the picture holds
    const std::size_t n = std::min<std::size_t>(count, png->width - png->row_pixels);
    if (png->surveying) {
      survey(png, pixels, n);
    } else if (png->palette) {
      if (png->row_pixels == 0) std::memset(g_row, 0, png->row_bytes);
      if (!put_indices(png, pixels, n)) break;
    } else if (png->held) {
      std::memcpy(g_row + std::size_t{png->row_pixels} * png->channels, pixels, n * png->channels);
    } else {
      static const std::uint8_t kNone = kFilterNone;
      if (png->row_pixels == 0 && !deflate_bytes(png, &kNone, 1)) break;
      if (!deflate_bytes(png, pixels, n * png->channels)) break;
    }
    png->row_pixels += static_cast<std::uint32_t>(n);
    pixels += n * png->channels;
    count -= n;
    if (png->row_pixels == png->width) {
      if (!png->surveying && png->held && !put_held_row(png)) break;
      png->row_pixels = 0;
      --png->rows_left;
    }
  }
  return !png->failed && !png->stray_colour;
}

bool png_finish(PngWriter* png) {
  if (png->surveying) {
    png->surveying = false;
    png->surveyed = png->rows_left == 0 && png->colours <= kPaletteMax;
    return png->surveyed;
  }
  if (png->rows_left != 0 || png->failed || png->stray_colour) {
    png_close(png);
    return false;
  }
  int result = Z_OK;
  while (result == Z_OK && !png->failed) {
    if (g_stream.avail_out == 0) send_idat(png);
    result = deflate(&g_stream, Z_FINISH);
  }
  if (result == Z_STREAM_END) send_idat(png);
  const bool ended = result == Z_STREAM_END && !png->failed;
  png_close(png);
  return ended && write(png, kIend, sizeof kIend);
}

void png_close(PngWriter* png) {
  if (png->deflating) deflateEnd(&g_stream);
  png->deflating = false;
}

}  // namespace kestrin::preview
