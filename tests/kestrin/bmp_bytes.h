// BMP files built byte by byte for the tests, and the headers they must give.
#pragma once

// Every header field can be set to any value, sane or not.

#include <cstdint>
#include <string>
#include <vector>

#include "kestrin/pixel_pair.h"

struct Rgb {
  std::uint8_t red, green, blue;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kMagenta{255, 0, 255};

// Offsets of the fields the tests change.
enum BmpField : std::size_t {
  kBfType = 0,
  kBfSize = 2,
  kBfOffBits = 10,
  kBiSize = 14,
  kBiWidth = 18,
  kBiHeight = 22,
  kBiPlanes = 26,
  kBiBitCount = 28,
  kBiCompression = 30,
  kBiSizeImage = 34,
  kBiClrUsed = 46,
};

inline void put_u16(std::string* bytes, std::size_t at, std::uint16_t v) {
  (*bytes)[at] = static_cast<char>(v & 0xFF);
  (*bytes)[at + 1] = static_cast<char>(v >> 8);
}

inline void put_u32(std::string* bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit BMP with `rows` in file order (each `width` pixels), the fill of
// each row made of `fill_byte`, and the pixel data at offset 54.
inline std::string bmp_bytes(std::int32_t width, std::int32_t height,
                             const std::vector<std::vector<Rgb>>& rows, char fill_byte = 0) {
  std::string pixels;
  for (const std::vector<Rgb>& row : rows) {
    for (const Rgb& p : row) {
      pixels += static_cast<char>(p.blue);
      pixels += static_cast<char>(p.green);
      pixels += static_cast<char>(p.red);
    }
    pixels.append(row.size() % 4, fill_byte);
  }
  std::string bytes(54, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  put_u32(&bytes, kBfSize, static_cast<std::uint32_t>(54 + pixels.size()));
  put_u32(&bytes, kBfOffBits, 54);
  put_u32(&bytes, kBiSize, 40);
  put_u32(&bytes, kBiWidth, static_cast<std::uint32_t>(width));
  put_u32(&bytes, kBiHeight, static_cast<std::uint32_t>(height));
  put_u16(&bytes, kBiPlanes, 1);
  put_u16(&bytes, kBiBitCount, 24);
  put_u32(&bytes, kBiSizeImage, static_cast<std::uint32_t>(pixels.size()));
  return bytes + pixels;
}

// A picture of `width` x `height` whose every pixel differs from its
// neighbours, rows in file order (bottom row first).
inline std::vector<std::vector<Rgb>> noise_rows(int width, int height, unsigned seed = 1) {
  std::vector<std::vector<Rgb>> rows(height, std::vector<Rgb>(width));
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& row : rows) {
    for (Rgb& p : row) {
      x = x * 1664525u + 1013904223u;
      p = Rgb{static_cast<std::uint8_t>(x >> 24), static_cast<std::uint8_t>(x >> 16),
              static_cast<std::uint8_t>(x >> 8)};
    }
  }
  return rows;
}

// The whole header kestrin must write for `input_path` holding `rows` (file
// order, bottom row first) without Magic Pink, the defines and the array
// named by the file name as given.
inline std::string expected_header(const std::string& input_path, const std::string& defines,
                                   const std::string& array, int width,
                                   const std::vector<std::vector<Rgb>>& rows) {
  const std::string w = std::to_string(width), h = std::to_string(rows.size());
  std::string text = "/*\n * File  : " + input_path + "\n * Width : " + w + "\n * Height: " + h +
                     "\n*/\n#define " + defines + "_WIDTH   (" + w + ")\n#define " + defines +
                     "_HEIGHT  (" + h + ")\n#define " + defines + "_SIZE   (" +
                     std::to_string(static_cast<long long>(width) * rows.size()) +
                     ")\n\nconst u32 " + array + "_Bitmap[" + h + "*" + w + "]={\n";
  static const char kHex[] = "0123456789ABCDEF";
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    for (int i = 0; i < width; i += 2) {
      if (i > 0 && i % 16 == 0) text += '\n';
      const Rgb& a = (*row)[i];
      const Rgb& b = (*row)[i + 1];
      const std::uint32_t word =
          kestrin::encode_pixel_pair(a.red, a.green, a.blue, b.red, b.green, b.blue);
      char digits[12] = {'0', 'x', 0, 0, 0, 0, 0, 0, 0, 0, ',', ' '};
      for (int k = 0; k < 8; ++k) digits[2 + k] = kHex[(word >> (28 - 4 * k)) & 0xF];
      text.append(digits, sizeof digits);
    }
    text += '\n';
  }
  return text + "};\n/* END OF FILE */\n";
}
