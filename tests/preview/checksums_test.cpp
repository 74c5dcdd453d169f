// The PNG's checksums: their check values, and the fast paths against the
// definitions at every length around their steps.

#include "kestrin/preview/checksums.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using kestrin::preview::adler32;
using kestrin::preview::crc32;

const std::uint8_t* text(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

TEST(Checksums, GiveTheCheckValues) {
  EXPECT_EQ(crc32(0, text("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(crc32(0, text("IEND"), 4), 0xAE426082u);
  EXPECT_EQ(adler32(1, text("Wikipedia"), 9), 0x11E60398u);
}

// The definitions, a bit and a byte at a time.
std::uint32_t plain_crc(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t c = 0xFFFFFFFF;
  for (const std::uint8_t b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return ~c;
}

std::uint32_t plain_adler(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t a = 1, b = 0;
  for (const std::uint8_t v : bytes) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

TEST(Checksums, MatchTheirDefinitionsAtEveryLength) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t x = 7;
  // Up to past two of Adler's runs of 5552 bytes; all 0xFF at the end, the
  // largest sums.
  for (std::size_t size = 0; size < 11200; size += size < 300 ? 1 : 97) {
    while (bytes.size() < size) {
      x = x * 1664525u + 1013904223u;
      bytes.push_back(bytes.size() > 6000 ? 0xFF : static_cast<std::uint8_t>(x >> 24));
    }
    ASSERT_EQ(crc32(0, bytes.data(), size), plain_crc(bytes)) << size << " bytes";
    ASSERT_EQ(adler32(1, bytes.data(), size), plain_adler(bytes)) << size << " bytes";
    // Continued across a cut anywhere, as the writer feeds them.
    const std::size_t cut = size / 3;
    ASSERT_EQ(crc32(crc32(0, bytes.data(), cut), bytes.data() + cut, size - cut), plain_crc(bytes));
    ASSERT_EQ(adler32(adler32(1, bytes.data(), cut), bytes.data() + cut, size - cut),
              plain_adler(bytes));
  }
}

}  // namespace
