// Deterministic inputs for the benchmark.
//   make_bench_inputs picture <out.bmp> <width> <height> <seed>
//   make_bench_inputs text <out.txt> <bytes> <min line> <max line> <seed>
// Pictures are noise (every pair differs); texts are printable ASCII without
// the characters the converter escapes, so a plain copy gives the same bytes.

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

int picture(const char* path, std::uint32_t width, std::uint32_t height, std::uint64_t seed) {
  const std::uint32_t fill = width % 4;
  const std::uint64_t row = 3ull * width + fill;
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
  if (argc == 7 && std::strcmp(argv[1], "text") == 0) {
    return text(argv[2], std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10),
                std::strtoull(argv[5], nullptr, 10), std::strtoull(argv[6], nullptr, 10));
  }
  std::fputs(
      "usage: make_bench_inputs picture <out.bmp> <width> <height> <seed>\n"
      "       make_bench_inputs text <out.txt> <bytes> <min line> <max line> <seed>\n",
      stderr);
  return 2;
}
