// Writes the seed inputs of the fuzz targets:
//   make_fuzz_corpus <folder>   ->  <folder>/kestrin/*.bmp, <folder>/lortane/*.txt,
//                                   <folder>/preview/*.h
// Small valid pictures of several shapes and row orders, with and without row
// fill, and texts around the 1023-byte piece length with every kind of byte
// the escaping must handle, and headers as Kestrin writes them (after the
// preview target's one byte of settings). The fuzzers mutate these; the test
// suite replays them.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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
  if (!ok) std::fprintf(stderr, "cannot write the corpus under %s\n", root.c_str());
  return ok ? 0 : 1;
}
