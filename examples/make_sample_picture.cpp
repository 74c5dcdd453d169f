// Writes the bundled sample picture: a 24-bit BMP of a small sprite, a
// green-blue gem on the Magic Pink key colour, with a one-pixel black outline.
// Usage: make_sample_picture <out.bmp> [width height]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void put_u16(std::string* s, std::uint16_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>(v >> 8));
}

void put_u32(std::string* s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fputs("usage: make_sample_picture <out.bmp> [width height]\n", stderr);
    return 1;
  }
  const int width = argc == 4 ? std::atoi(argv[2]) : 38;  // 38: rows carry 2 fill bytes
  const int height = argc == 4 ? std::atoi(argv[3]) : 24;
  if (width <= 0 || height <= 0 || width % 2 != 0) {
    std::fputs("make_sample_picture: width must be even and both positive\n", stderr);
    return 1;
  }
  const int fill = width % 4;
  const std::uint32_t pixel_bytes = static_cast<std::uint32_t>((3 * width + fill) * height);

  std::string bmp = "BM";
  put_u32(&bmp, 54 + pixel_bytes);
  put_u32(&bmp, 0);  // reserved
  put_u32(&bmp, 54);
  put_u32(&bmp, 40);
  put_u32(&bmp, static_cast<std::uint32_t>(width));
  put_u32(&bmp, static_cast<std::uint32_t>(height));
  put_u16(&bmp, 1);
  put_u16(&bmp, 24);
  put_u32(&bmp, 0);
  put_u32(&bmp, pixel_bytes);
  put_u32(&bmp, 2835);  // 72 dpi
  put_u32(&bmp, 2835);
  put_u32(&bmp, 0);
  put_u32(&bmp, 0);

  const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
  const double radius = (width < height ? width : height) * 0.45;
  for (int y = 0; y < height; ++y) {  // bottom row first
    for (int x = 0; x < width; ++x) {
      const double d = std::abs(x - cx) / radius + std::abs(y - cy) / radius;  // a diamond
      int r = 255, g = 0, b = 255;                                             // the key colour
      if (d <= 0.9) {
        r = 20;
        g = static_cast<int>(120 + 135 * (1 - d));
        b = static_cast<int>(90 + 100 * (y / static_cast<double>(height)));
      } else if (d <= 1.0) {
        r = g = b = 0;
      }
      bmp.push_back(static_cast<char>(b));
      bmp.push_back(static_cast<char>(g));
      bmp.push_back(static_cast<char>(r));
    }
    bmp.append(static_cast<std::size_t>(fill), '\0');
  }

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(bmp.data(), 1, bmp.size(), out) != bmp.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "make_sample_picture: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
