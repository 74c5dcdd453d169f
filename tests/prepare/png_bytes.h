// PNG files built byte by byte for the tests and the fuzz seeds.
#pragma once

// Chunks get their checksums and the rows are deflated by zlib, so that a
// test can build a sound file and then spoil exactly what it means to.

#include <zlib.h>

#include <cstdint>
#include <string>

inline void put_u32be(std::string* bytes, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) *bytes += static_cast<char>((v >> shift) & 0xFF);
}

// A chunk: its length, its type, `data` and the checksum of type and data.
inline std::string png_chunk(const char* type, const std::string& data) {
  std::string chunk;
  put_u32be(&chunk, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  chunk += typed;
  put_u32be(&chunk,
            static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                             static_cast<uInt>(typed.size()))));
  return chunk;
}

inline std::string png_ihdr(std::uint32_t width, std::uint32_t height, int depth, int colour_type,
                            int interlace = 0) {
  std::string data;
  put_u32be(&data, width);
  put_u32be(&data, height);
  data += static_cast<char>(depth);
  data += static_cast<char>(colour_type);
  data += std::string(2, '\0');  // deflate, adaptive filters
  data += static_cast<char>(interlace);
  return png_chunk("IHDR", data);
}

// `rows` (each a filter byte and its samples) as a zlib stream.
inline std::string deflated(const std::string& rows) {
  std::string packed(compressBound(static_cast<uLong>(rows.size())), '\0');
  uLongf packed_size = static_cast<uLongf>(packed.size());
  compress2(reinterpret_cast<Bytef*>(&packed[0]), &packed_size,
            reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()), 9);
  packed.resize(packed_size);
  return packed;
}

// The whole file: signature, `ihdr`, `extra` chunks (PLTE, tRNS), the image
// data `idat` in one IDAT, and IEND.
inline std::string png_chunks(const std::string& ihdr, const std::string& idat,
                              const std::string& extra = "") {
  return std::string("\x89PNG\r\n\x1a\n", 8) + ihdr + extra + png_chunk("IDAT", idat) +
         png_chunk("IEND", "");
}

// The same with `rows` deflated for the image data.
inline std::string png_file(const std::string& ihdr, const std::string& rows,
                            const std::string& extra = "") {
  return png_chunks(ihdr, deflated(rows), extra);
}
