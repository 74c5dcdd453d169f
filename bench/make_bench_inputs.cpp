// Deterministic inputs for the benchmark.
//   make_bench_inputs picture <out.bmp> <width> <height> <seed>
//   make_bench_inputs sprites|tinted <out.bmp> <width> <height> <seed>
//   make_bench_inputs grain <out.bmp> <width> <height> <seed>
//   make_bench_inputs text <out.txt> <bytes> <min line> <max line> <seed>
// Pictures are noise (every pair differs); sprites are pixel art, flat shapes
// of a few colours on the Magic Pink key, in cells of 64 x 48 (one sprite for
// 64 x 48, a sheet of different ones otherwise, each sprite a little off
// the others' colours if tinted); grain is a photograph's
// worth of smooth colour under film grain, every channel up to 16 levels off;
// texts are printable ASCII without the characters the converter escapes, so
// a plain copy gives the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::uint64_t next(std::uint64_t* state) {  // xorshift64*
  *state ^= *state >> 12;
  *state ^= *state << 25;
  *state ^= *state >> 27;
  return *state * 2685821657736338717ull;
}

void put_u32(std::string* s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool write_all(std::FILE* out, const void* data, std::size_t size) {
  return std::fwrite(data, 1, size, out) == size;
}

// The BMP's two headers for a 24-bit picture of `width` x `height`, bottom-up.
std::string bmp_head(std::uint32_t width, std::uint32_t height) {
  const std::uint64_t row = 3ull * width + width % 4;
  std::string head = "BM";
  put_u32(&head, static_cast<std::uint32_t>(54 + row * height));
  put_u32(&head, 0);
  put_u32(&head, 54);
  put_u32(&head, 40);
  put_u32(&head, width);
  put_u32(&head, height);
  head += std::string("\x01\x00\x18\x00", 4);  // one plane, 24 bits
  put_u32(&head, 0);
  put_u32(&head, static_cast<std::uint32_t>(row * height));
  put_u32(&head, 2835);
  put_u32(&head, 2835);
  put_u32(&head, 0);
  put_u32(&head, 0);
  return head;
}

int picture(const char* path, std::uint32_t width, std::uint32_t height, std::uint64_t seed) {
  const std::uint64_t row = 3ull * width + width % 4;
  const std::string head = bmp_head(width, height);
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr || !write_all(out, head.data(), head.size())) return 1;
  std::vector<unsigned char> bytes(row);
  std::uint64_t state = seed | 1;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint64_t i = 0; i < 3ull * width; ++i)
      bytes[i] = static_cast<unsigned char>(next(&state) >> 56);
    if (!write_all(out, bytes.data(), bytes.size())) return 1;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

struct Colour {
  unsigned char red, green, blue;
};

// A few flat colours, as pixel art has them; none is near the key.
constexpr Colour kPalette[] = {{0, 0, 0},       {255, 255, 255}, {96, 96, 112},  {168, 168, 184},
                               {32, 64, 160},   {80, 160, 232},  {24, 120, 56},  {120, 200, 72},
                               {200, 40, 32},   {248, 136, 40},  {248, 216, 72}, {112, 64, 32},
                               {200, 152, 112}, {24, 24, 48},    {64, 200, 200}, {144, 48, 96}};
constexpr Colour kKey{255, 0, 255};

// One sprite of a cell of 64 x 48, top-left corner at (x0, y0) in `rows`
// (top row first, red, green, blue): a body, a window, a fin and a flame,
// each flat, outlined in black, their sizes and colours from `seed`.
void draw_sprite(std::vector<std::vector<Colour>>* rows, int x0, int y0, std::uint64_t seed) {
  std::uint64_t state = seed | 1;
  const auto pick = [&](int n) {
    return static_cast<int>(next(&state) % static_cast<unsigned>(n));
  };
  const Colour body = kPalette[2 + pick(14)], window = kPalette[4 + pick(12)];
  const Colour fin = kPalette[2 + pick(14)], flame = kPalette[8 + pick(3)];
  const int cx = 30 + pick(5), cy = 24 + pick(3), rx = 18 + pick(6), ry = 9 + pick(4);
  const auto shape_at = [&](int x, int y, Colour* c) {
    const int dx = x - cx, dy = y - cy;
    const int wx = x - (cx + rx / 3), wy = y - (cy - 2);
    if (wx * wx + wy * wy * 2 <= 30) {
      *c = window;
    } else if (dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry) {
      *c = body;
    } else if (dx < 0 && dx > -rx && dy < 0 && -dy < ry + 8 && -dy * rx < (rx + dx) * (ry + 8)) {
      *c = fin;
    } else if (dx <= -rx && dx > -rx - 8 && dy > -4 && dy < 4) {
      *c = flame;
    } else {
      return false;
    }
    return true;
  };
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      Colour c = kKey;
      if (shape_at(x, y, &c)) {
        Colour n;
        // A pixel of a shape beside the ground is its outline.
        if (!shape_at(x - 1, y, &n) || !shape_at(x + 1, y, &n) || !shape_at(x, y - 1, &n) ||
            !shape_at(x, y + 1, &n)) {
          c = kPalette[0];
        }
      }
      (*rows)[y0 + y][x0 + x] = c;
    }
  }
}

// With `tinted`, each sprite's colours are a few levels off the others', so
// that the sheet has more colours than a palette holds.
int sprites(const char* path, std::uint32_t width, std::uint32_t height, std::uint64_t seed,
            bool tinted) {
  std::vector<std::vector<Colour>> rows(height, std::vector<Colour>(width, kKey));
  for (std::uint32_t y = 0; y + 48 <= height; y += 48) {
    for (std::uint32_t x = 0; x + 64 <= width; x += 64) {
      draw_sprite(&rows, static_cast<int>(x), static_cast<int>(y), seed + y * width + x);
    }
  }
  for (std::uint32_t y = 0; y < height && tinted; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      Colour& c = rows[y][x];
      const std::uint32_t cell = x / 64 + y / 48 * (width / 64);
      if (c.red == kKey.red && c.green == kKey.green && c.blue == kKey.blue) continue;
      c.blue = static_cast<unsigned char>(c.blue ^ (cell % 16 * 4));
      c.red = static_cast<unsigned char>(c.red ^ (cell / 16 % 16 * 2));
    }
  }
  const std::string head = bmp_head(width, height);
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr || !write_all(out, head.data(), head.size())) return 1;
  std::string bytes;
  for (std::uint32_t y = height; y-- > 0;) {  // bottom row first
    bytes.clear();
    for (const Colour& c : rows[y]) {
      bytes += static_cast<char>(c.blue);
      bytes += static_cast<char>(c.green);
      bytes += static_cast<char>(c.red);
    }
    bytes.append(width % 4, '\0');
    if (!write_all(out, bytes.data(), bytes.size())) return 1;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

int grain(const char* path, std::uint32_t width, std::uint32_t height, std::uint64_t seed) {
  const std::string head = bmp_head(width, height);
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr || !write_all(out, head.data(), head.size())) return 1;
  std::vector<unsigned char> bytes(3ull * width + width % 4);
  std::uint64_t state = seed | 1;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      // Blue, green, red: three slopes across the picture, and the grain.
      const std::uint64_t smooth[3] = {64 + 128ull * x / width, 48 + 160ull * y / height,
                                       40 + 96ull * (x + y) / (width + height)};
      for (int c = 0; c < 3; ++c) {
        const int v = static_cast<int>(smooth[c]) + static_cast<int>(next(&state) % 33) - 16;
        bytes[3ull * x + c] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
    if (!write_all(out, bytes.data(), bytes.size())) return 1;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

int text(const char* path, std::uint64_t size, std::uint64_t min_line, std::uint64_t max_line,
         std::uint64_t seed) {
  // Printable ASCII less '"', '\\' and '?', which the converter writes escaped.
  std::string alphabet;
  for (char c = ' '; c <= '~'; ++c) {
    if (c != '"' && c != '\\' && c != '?') alphabet += c;
  }
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return 1;
  std::uint64_t state = seed | 1;
  std::string block;
  for (std::uint64_t written = 0; written < size;) {
    std::uint64_t length = min_line + next(&state) % (max_line - min_line + 1);
    length = std::min(length, size - written - 1);
    block.clear();
    for (std::uint64_t i = 0; i < length; ++i) block += alphabet[next(&state) % alphabet.size()];
    block += '\n';
    if (!write_all(out, block.data(), block.size())) return 1;
    written += block.size();
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "picture") == 0) {
    return picture(argv[2], static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)),
                   static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)),
                   std::strtoull(argv[5], nullptr, 10));
  }
  if (argc == 6 && (std::strcmp(argv[1], "sprites") == 0 || std::strcmp(argv[1], "tinted") == 0 ||
                    std::strcmp(argv[1], "grain") == 0)) {
    const auto width = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const auto height = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10));
    const std::uint64_t seed = std::strtoull(argv[5], nullptr, 10);
    if (argv[1][0] == 'g') return grain(argv[2], width, height, seed);
    return sprites(argv[2], width, height, seed, argv[1][0] == 't');
  }
  if (argc == 7 && std::strcmp(argv[1], "text") == 0) {
    return text(argv[2], std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10),
                std::strtoull(argv[5], nullptr, 10), std::strtoull(argv[6], nullptr, 10));
  }
  std::fputs(
      "usage: make_bench_inputs picture <out.bmp> <width> <height> <seed>\n"
      "       make_bench_inputs sprites|tinted <out.bmp> <width> <height> <seed>\n"
      "       make_bench_inputs grain <out.bmp> <width> <height> <seed>\n"
      "       make_bench_inputs text <out.txt> <bytes> <min line> <max line> <seed>\n",
      stderr);
  return 2;
}
