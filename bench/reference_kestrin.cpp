// The straightforward converter the benchmark measures against: one byte per
// read call and one formatted-output call per word, written directly to the
// target. Only the plain case is handled (no Magic Pink, bottom-up rows).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::uint32_t u32le(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t encode(int r0, int g0, int b0, int r1, int g1, int b1) {
  const int y0 = (299 * r0 + 587 * g0 + 114 * b0) / 1000;
  const int y1 = (299 * r1 + 587 * g1 + 114 * b1) / 1000;
  const int cb0 = (12800000 - 16874 * r0 - 33126 * g0 + 50000 * b0) / 100000;
  const int cb1 = (12800000 - 16874 * r1 - 33126 * g1 + 50000 * b1) / 100000;
  const int cr0 = (12800000 + 50000 * r0 - 41869 * g0 - 8131 * b0) / 100000;
  const int cr1 = (12800000 + 50000 * r1 - 41869 * g1 - 8131 * b1) / 100000;
  return static_cast<std::uint32_t>(y0) << 24 | static_cast<std::uint32_t>((cb0 + cb1) / 2) << 16 |
         static_cast<std::uint32_t>(y1) << 8 | static_cast<std::uint32_t>((cr0 + cr1) / 2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 1;
  std::FILE* in = std::fopen(argv[1], "rb");
  unsigned char head[54];
  if (in == nullptr || std::fread(head, 54, 1, in) != 1) return 2;
  const int width = static_cast<std::int32_t>(u32le(head + 18));
  const int height = static_cast<std::int32_t>(u32le(head + 22));
  std::fseek(in, static_cast<long>(u32le(head + 10)), SEEK_SET);
  unsigned char* pixels = static_cast<unsigned char*>(std::malloc(3ull * width * height));
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      for (int k = 0; k < 3; ++k) {
        if (std::fread(&pixels[(static_cast<std::size_t>(r) * width + c) * 3 + k], 1, 1, in) != 1)
          return 5;
      }
    }
    unsigned char skip;
    for (int k = 0; k < width % 4; ++k) (void)!std::fread(&skip, 1, 1, in);
  }
  std::fclose(in);

  const std::string input = argv[1];
  std::string name = input.substr(input.find_last_of('/') + 1);
  std::string upper = name;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  upper.resize(upper.rfind('.'));
  name.resize(name.find('.'));
  std::FILE* out = std::fopen((input + ".h").c_str(), "w");
  if (out == nullptr) return 6;
  std::fprintf(out, "/*\n * File  : %s\n * Width : %d\n * Height: %d\n*/\n", argv[1], width,
               height);
  std::fprintf(out, "#define %s_WIDTH   (%d)\n", upper.c_str(), width);
  std::fprintf(out, "#define %s_HEIGHT  (%d)\n", upper.c_str(), height);
  std::fprintf(out, "#define %s_SIZE   (%d)\n\n", upper.c_str(), width * height);
  std::fprintf(out, "const u32 %s_Bitmap[%d*%d]={\n", name.c_str(), height, width);
  for (int r = height - 1; r >= 0; --r) {
    const unsigned char* row = pixels + static_cast<std::size_t>(r) * width * 3;
    for (int i = 0; i < width; i += 2) {
      if (i > 0 && i % 16 == 0) std::fprintf(out, "\n");
      const unsigned char* p = row + i * 3;
      std::fprintf(out, "0x%08X, ", encode(p[2], p[1], p[0], p[5], p[4], p[3]));
    }
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "};\n/* END OF FILE */\n");
  std::fclose(out);
  std::printf("Done.\n");
  return 0;
}
