// Writes the seed inputs of the fuzz targets:
//   make_fuzz_corpus <folder>   ->  <folder>/kestrin/*.bmp, <folder>/lortane/*.txt,
//                                   <folder>/preview/*.h, <folder>/prepare/*
// Small valid pictures of several shapes and row orders, with and without row
// fill, and texts around the 1023-byte piece length with every kind of byte
// the escaping must handle, headers as Kestrin writes them (after the
// preview target's one byte of settings), and PNGs of every colour type and
// BMPs of every depth artists export (after the prepare target's one byte,
// its alpha threshold). The fuzzers mutate these; the test suite replays
// them.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/prepare/png_bytes.h"

namespace {

// The bytes of a string literal, zero bytes included, without its terminator.
template <std::size_t N>
std::string bytes_of(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

void put_u16(std::string* b, std::size_t at, std::uint32_t v) {
  (*b)[at] = static_cast<char>(v & 0xFF);
  (*b)[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put_u32(std::string* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit picture with `gap` bytes between the headers and the pixels, rows
// of pseudo-random colours where every third pixel is magenta, and the row
// fill made of `fill_byte`. A negative height stores the rows top-down.
std::string picture(std::int32_t width, std::int32_t height, std::uint32_t seed, char fill_byte,
                    std::uint32_t gap = 0) {
  const std::uint32_t rows = height < 0 ? -static_cast<std::uint32_t>(height) : height;
  std::string pixels;
  std::uint32_t x = seed * 2654435761u + 7;
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < width; ++c) {
      x = x * 1664525u + 1013904223u;
      if ((r + c) % 3 == 0) {
        pixels += "\xff\x00\xff";
      } else {
        pixels += static_cast<char>(x >> 24);
        pixels += static_cast<char>(x >> 16);
        pixels += static_cast<char>(x >> 8);
      }
    }
    pixels.append(static_cast<std::size_t>(width % 4), fill_byte);
  }
  std::string b(54 + gap, '\0');
  b[0] = 'B';
  b[1] = 'M';
  put_u32(&b, 2, static_cast<std::uint32_t>(b.size() + pixels.size()));
  put_u32(&b, 10, 54 + gap);
  put_u32(&b, 14, 40);
  put_u32(&b, 18, static_cast<std::uint32_t>(width));
  put_u32(&b, 22, static_cast<std::uint32_t>(height));
  put_u16(&b, 26, 1);
  put_u16(&b, 28, 24);
  put_u32(&b, 34, static_cast<std::uint32_t>(pixels.size()));
  return b + pixels;
}

bool write(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::pair<std::string, std::string>> pictures() {
  std::vector<std::pair<std::string, std::string>> seeds;
  const std::int32_t widths[] = {0, 2, 4, 6, 16, 18, 34};
  const std::int32_t heights[] = {1, 2, 3, -2};
  std::uint32_t seed = 1;
  for (std::int32_t w : widths) {
    for (std::int32_t h : heights) {
      const std::string name = "w" + std::to_string(w) + "_h" + std::to_string(h);
      seeds.emplace_back(name + ".bmp", picture(w, h, seed++, '\0'));
      // The harness takes its Magic Pink settings from the last seven bytes:
      // on, replacement 0x302010, key magenta.
      seeds.emplace_back(name + "_mp.bmp",
                         picture(w, h, seed++, '\0') + bytes_of("\x01\x10\x20\x30\xff\x00\xff"));
    }
  }
  // Fill bytes that look like the key colour, a gap before the pixels, a file
  // cut inside its last row's fill, and bytes after the pixels.
  seeds.emplace_back("fill_ff.bmp", picture(6, 3, 99, '\xff'));
  seeds.emplace_back("gap.bmp", picture(4, 2, 5, '\0', 10));
  std::string cut = picture(2, 3, 7, '\0');
  cut.pop_back();
  seeds.emplace_back("cut_in_fill.bmp", cut);
  seeds.emplace_back("trailing.bmp", picture(2, 2, 8, '\0') + "\xff\x00\xff\x01trailing");
  std::string offset_in_header = picture(2, 1, 9, '\0');
  put_u32(&offset_in_header, 10, 14);
  seeds.emplace_back("offset_in_header.bmp", offset_in_header);
  return seeds;
}

std::vector<std::pair<std::string, std::string>> texts() {
  const std::string x1022(1022, 'x'), x1023(1023, 'y'), x1024(1024, 'z');
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return {
      {"empty.txt", ""},
      {"lines.txt", "one\ntwo\n\nlast without end"},
      {"crlf.txt", "one\r\ntwo\r\n\r\n"},
      {"lone_cr.txt", "a\rb\r\r\nc\r"},
      {"long_lf.txt", x1022 + "\n" + x1023 + "\n" + x1024 + "\n"},
      {"long_crlf.txt", x1022 + "\r\n" + x1023 + "\r\n" + x1024 + "\r\n"},
      {"long_no_end.txt", x1024 + "\n" + x1023},
      {"quotes.txt", "say \"hi\" \\ \\\" ?\?= ?\?/ ?\?\?( '?'\n" + std::string(1023, '"') + "\n"},
      {"controls.txt", bytes_of("nul\0mid\x01"
                                "7\x1a\x1b[0m\x7f\t\n")},
      {"utf8.txt", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xe2\x80\xae rtl \xe2\x81\xa6\n"},
      {"bad_utf8.txt", "\xff \xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x82\n\xc3"},
      {"utf16.txt", bytes_of("\xff\xfeh\0i\0\r\0\n\0")},
      {"all_bytes.txt", bytes},
  };
}

// Kestrin's header of a picture of that size, its words counting up.
std::string header(int width, int height, const char* line_end) {
  const std::string w = std::to_string(width), h = std::to_string(height);
  std::string text = "/*\n * File  : pic.bmp\n * Width : " + w + "\n * Height: " + h +
                     "\n*/\n#define PIC_WIDTH   (" + w + ")\n#define PIC_HEIGHT  (" + h +
                     ")\n#define PIC_SIZE   (" + std::to_string(width * height) +
                     ")\n\nconst u32 pic_Bitmap[" + h + "*" + w + "]={\n";
  char word[16];
  for (int row = 0, n = 0; row < height; ++row) {
    for (int i = 0; i < width / 2; ++i) {
      if (i > 0 && i % 8 == 0) text += '\n';
      std::snprintf(word, sizeof word, "0x%08X, ", 0x00800080u + 0x01010101u * n++);
      text += word;
    }
    text += '\n';
  }
  text += "};\n/* END OF FILE */\n";
  std::string ended;
  for (char c : text) ended += c == '\n' ? std::string(line_end) : std::string(1, c);
  return ended;
}

std::vector<std::pair<std::string, std::string>> headers() {
  return {
      {"small.h", '\0' + header(4, 2, "\n")},
      {"wide.h", '\0' + header(34, 3, "\n")},
      {"crlf_pipe.h", '\x01' + header(4, 2, "\r\n")},
      {"empty_rows.h", '\x06' + header(0, 3, "\n")},
  };
}

// A PNG of `width` x `height` pixels of `depth` bits, colour `type`, whose
// rows (filter byte and samples) are pseudo-random; `extra` chunks (PLTE,
// tRNS) come before the data.
std::string png(std::uint32_t width, std::uint32_t height, int depth, int type, int interlace,
                const std::string& extra = "") {
  const int samples[] = {1, 0, 3, 1, 2, 0, 4};
  // Adam7's passes (first column, first row, steps), or the whole picture.
  const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  const std::uint32_t whole[1][4] = {{0, 0, 1, 1}};
  const auto* chosen = interlace ? passes : whole;
  const int count = interlace ? 7 : 1;
  std::string raw;
  std::uint32_t x = width * 31 + height * 7 + static_cast<std::uint32_t>(depth * type);
  for (int p = 0; p < count; ++p) {
    const std::uint32_t* pass = chosen[p];
    const std::uint32_t columns = (width - pass[0] + pass[2] - 1) / pass[2];
    const std::uint32_t rows = (height - pass[1] + pass[3] - 1) / pass[3];
    if (width <= pass[0] || height <= pass[1]) continue;
    const std::size_t row = (std::size_t{columns} * samples[type] * depth + 7) / 8;
    for (std::uint32_t r = 0; r < rows; ++r) {
      raw += static_cast<char>(r % 5);  // each filter type
      for (std::size_t i = 0; i < row; ++i) {
        x = x * 1664525u + 1013904223u;
        raw += static_cast<char>(type == 3 ? (x >> 24) % 4 : x >> 24);
      }
    }
  }
  return png_file(png_ihdr(width, height, depth, type, interlace), raw, extra);
}

// A BMP of `bits` a pixel with a `header_size`-byte info header, `palette`
// entries and optional bit fields, rows of pseudo-random bytes.
std::string bmp(std::int32_t width, std::int32_t height, int bits, std::uint32_t header_size,
                std::uint32_t palette, std::uint32_t compression = 0) {
  const std::uint32_t rows = height < 0 ? -static_cast<std::uint32_t>(height) : height;
  const std::size_t stride = ((std::size_t(width) * bits + 31) / 32) * 4;
  const std::uint32_t masks = compression == 3 && header_size == 40 ? 12 : 0;
  const std::uint32_t offset = 14 + header_size + masks + 4 * palette;
  std::string b(offset, '\0');
  b[0] = 'B';
  b[1] = 'M';
  put_u32(&b, 10, offset);
  put_u32(&b, 14, header_size);
  put_u32(&b, 18, static_cast<std::uint32_t>(width));
  put_u32(&b, 22, static_cast<std::uint32_t>(height));
  put_u16(&b, 26, 1);
  put_u16(&b, 28, static_cast<std::uint32_t>(bits));
  put_u32(&b, 30, compression);
  put_u32(&b, 46, palette);
  if (compression == 3) {  // 5-6-5, or 8-8-8-8 with alpha
    const std::uint32_t field[4] = {bits == 16 ? 0xF800u : 0xFF0000u,
                                    bits == 16 ? 0x07E0u : 0xFF00u, bits == 16 ? 0x001Fu : 0xFFu,
                                    bits == 16 ? 0u : 0xFF000000u};
    for (int i = 0; i < (header_size > 40 ? 4 : 3); ++i) put_u32(&b, 54 + 4 * i, field[i]);
  }
  for (std::uint32_t i = 0; i < palette; ++i)
    put_u32(&b, 14 + header_size + masks + 4 * i, i * 0x030507u);
  std::uint32_t x = static_cast<std::uint32_t>(width * 13 + bits);
  for (std::size_t i = 0; i < stride * rows; ++i) {
    x = x * 1664525u + 1013904223u;
    b += static_cast<char>(x >> 24);
  }
  put_u32(&b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

// The prepare target's seeds: its first byte is the alpha threshold.
std::vector<std::pair<std::string, std::string>> prepare_pictures() {
  std::string palette, transparency;
  for (int i = 0; i < 4; ++i)
    palette += std::string{char(i * 80), char(255 - i * 60), char(i * 30)};
  transparency = std::string{'\0', '\x64', '\xc8', '\xff'};
  const std::string chunks = png_chunk("PLTE", palette) + png_chunk("tRNS", transparency);
  const std::string half = "\x80";
  return {
      {"grey1.png", half + png(9, 3, 1, 0, 0)},
      {"grey16.png", half + png(3, 2, 16, 0, 0)},
      {"rgb8.png", half + png(5, 3, 8, 2, 0)},
      {"palette.png", half + png(7, 4, 2, 3, 0, chunks)},
      {"grey_alpha.png", half + png(4, 4, 8, 4, 0)},
      {"rgba16.png", half + png(3, 3, 16, 6, 0)},
      {"rgba_interlaced.png", half + png(9, 9, 8, 6, 1)},
      {"bmp1.bmp", half + bmp(9, 2, 1, 40, 2)},
      {"bmp4.bmp", half + bmp(5, 3, 4, 40, 16)},
      {"bmp8_v5.bmp", half + bmp(3, -2, 8, 124, 4)},
      {"bmp16.bmp", half + bmp(3, 2, 16, 40, 0, 3)},
      {"bmp24_odd.bmp", half + bmp(3, 2, 24, 40, 0)},
      {"bmp32_alpha.bmp", half + bmp(2, 2, 32, 108, 0, 3)},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  mkdir(root.c_str(), 0755);
  bool ok = true;
  mkdir((root + "/kestrin").c_str(), 0755);
  for (const auto& seed : pictures()) ok &= write(root + "/kestrin/" + seed.first, seed.second);
  mkdir((root + "/lortane").c_str(), 0755);
  for (const auto& seed : texts()) ok &= write(root + "/lortane/" + seed.first, seed.second);
  mkdir((root + "/preview").c_str(), 0755);
  for (const auto& seed : headers()) ok &= write(root + "/preview/" + seed.first, seed.second);
  mkdir((root + "/prepare").c_str(), 0755);
  for (const auto& seed : prepare_pictures()) {
    ok &= write(root + "/prepare/" + seed.first, seed.second);
  }
  if (!ok) std::fprintf(stderr, "cannot write the corpus under %s\n", root.c_str());
  return ok ? 0 : 1;
}
