// Reading PNGs back for the tests, by PNG's own definitions, with zlib.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// Undoes filter `filter` on one row: `filtered` and `above` (the row before,
// unfiltered; zeros for the first) of `size` bytes, `bpp` bytes a pixel.
inline std::vector<std::uint8_t> unfilter_row(unsigned filter, const std::uint8_t* filtered,
                                              const std::vector<std::uint8_t>& above,
                                              std::size_t bpp) {
  std::vector<std::uint8_t> row(above.size());
  for (std::size_t i = 0; i < row.size(); ++i) {
    const int a = i >= bpp ? row[i - bpp] : 0, b = above[i], c = i >= bpp ? above[i - bpp] : 0;
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int predicted[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
    row[i] = static_cast<std::uint8_t>(filtered[i] + predicted[filter]);
  }
  return row;
}

// A PNG's pixels as red, green, blue and alpha: truecolour, or a palette at
// any bit depth.
struct PngPixels {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

inline PngPixels png_pixels(const std::string& png) {
  const auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  PngPixels p;
  p.width = u32(16);
  p.height = u32(20);
  const unsigned depth = static_cast<unsigned char>(png[24]), type = png[25];
  std::string idat, palette, alphas;
  for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + u32(at)) {
    const std::string name = png.substr(at + 4, 4), data = png.substr(at + 8, u32(at));
    if (name == "IDAT") idat += data;
    if (name == "PLTE") palette = data;
    if (name == "tRNS") alphas = data;
  }
  const unsigned channels = type == 6 ? 4 : type == 2 ? 3 : 1;
  const std::size_t row = (std::size_t{p.width} * channels * depth + 7) / 8;
  const std::size_t bpp = channels * depth >= 8 ? channels * depth / 8 : 1;
  std::vector<std::uint8_t> raw(p.height * (1 + row));
  uLongf size = static_cast<uLongf>(raw.size());
  EXPECT_EQ(uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()),
                       static_cast<uLong>(idat.size())),
            Z_OK);
  std::vector<std::uint8_t> line(row, 0);
  for (std::uint32_t y = 0; y < p.height; ++y) {
    line = unfilter_row(raw[y * (1 + row)], &raw[y * (1 + row) + 1], line, bpp);
    for (std::uint32_t x = 0; x < p.width; ++x) {
      if (type == 3) {
        const std::size_t bit = std::size_t{x} * depth;
        const unsigned index = (line[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
        for (int k = 0; k < 3; ++k) {
          p.rgba.push_back(static_cast<std::uint8_t>(palette[3 * index + k]));
        }
        p.rgba.push_back(index < alphas.size() ? static_cast<std::uint8_t>(alphas[index]) : 255);
      } else {
        p.rgba.insert(p.rgba.end(), &line[x * channels], &line[x * channels] + 3);
        p.rgba.push_back(channels == 4 ? line[x * 4 + 3] : 255);
      }
    }
  }
  return p;
}
