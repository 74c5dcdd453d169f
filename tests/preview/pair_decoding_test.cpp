// Pixel-pair words back to pixels: hand-computed values and round trips
// through Kestrin's encoder.

#include "kestrin/preview/pair_decoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kestrin/pixel_pair.h"

namespace {

using kestrin::encode_pixel_pair;
using kestrin::preview::decode_pair;
using kestrin::preview::decode_pairs;
using kestrin::preview::Display;
using kestrin::preview::PairPixels;

struct DecodeCase {
  std::uint32_t word;
  std::uint8_t console[6];  // red, green, blue of the left pixel, then of the right
  std::uint8_t full[6];
};

// Worked by hand from the formulas, e.g. 0x4C6A00BF's left pixel on the
// console: 1.164 x 60 + 1.596 x 63 = 170.388 red, 69.84 + 0.392 x 22 - 0.813 x
// 63 = 27.245 green, 69.84 - 2.017 x 22 = 25.466 blue.
const DecodeCase kCases[] = {
    {0x00800080, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},        // luma 0 is below video black
    {0x10801080, {0, 0, 0, 0, 0, 0}, {16, 16, 16, 16, 16, 16}},  // video black
    {0xEB80EB80, {255, 255, 255, 255, 255, 255}, {235, 235, 235, 235, 235, 235}},  // video white
    {0xFF80FF80, {255, 255, 255, 255, 255, 255}, {255, 255, 255, 255, 255, 255}},
    {0x69D469EA, {255, 0, 255, 255, 0, 255}, {254, 0, 254, 254, 0, 254}},  // magenta
    {0x952B9515, {0, 255, 0, 0, 255, 0}, {0, 255, 0, 0, 255, 0}},
    {0x4C6A00BF, {170, 27, 25, 82, 0, 0}, {164, 39, 37, 88, 0, 0}},          // red beside black
    {0x1DBFFF75, {0, 0, 142, 255, 255, 255}, {14, 15, 141, 240, 241, 255}},  // blue, white
    {0x4CA91DB5, {154, 11, 153, 100, 0, 98}, {150, 24, 149, 103, 0, 102}},   // red, blue
};

std::vector<std::uint8_t> bytes(const std::uint8_t (&rgb)[6]) { return {rgb, rgb + 6}; }
std::vector<std::uint8_t> bytes(const PairPixels& p) { return {p.rgb, p.rgb + 6}; }

TEST(PairDecoding, DecodesReferenceWordsInBothDisplays) {
  for (const DecodeCase& c : kCases) {
    EXPECT_EQ(bytes(decode_pair(c.word, Display::kConsole)), bytes(c.console))
        << std::hex << c.word;
    EXPECT_EQ(bytes(decode_pair(c.word, Display::kFull)), bytes(c.full)) << std::hex << c.word;
  }
}

// Every word the tables and wider paths may meet: a run decodes as its words
// one by one, with alpha 0 exactly where the transparent word is.
TEST(PairDecoding, RunsMatchSingleWords) {
  std::vector<std::uint32_t> words;
  std::uint32_t x = 12345;
  for (int i = 0; i < 4099; ++i) {
    x = x * 1664525u + 1013904223u;
    words.push_back(i % 7 == 3 ? 0x69D469EA : x);
  }
  for (const Display display : {Display::kConsole, Display::kFull}) {
    for (const unsigned channels : {3u, 4u}) {
      std::vector<std::uint8_t> out(words.size() * 2 * channels);
      decode_pairs(words.data(), words.size(), display, channels, 0x69D469EA, out.data());
      for (std::size_t i = 0; i < words.size(); ++i) {
        const PairPixels p = decode_pair(words[i], display);
        const std::uint8_t* got = out.data() + i * 2 * channels;
        const std::uint8_t alpha = words[i] == 0x69D469EA ? 0 : 255;
        std::vector<std::uint8_t> expected(p.rgb, p.rgb + 3), seen(got, got + 3);
        if (channels == 4) expected.push_back(alpha);
        expected.insert(expected.end(), p.rgb + 3, p.rgb + 6);
        seen.insert(seen.end(), got + 3, got + 2 * channels);
        if (channels == 4) expected.push_back(alpha);
        ASSERT_EQ(seen, expected) << "word " << i << " with " << channels << " channels";
      }
    }
  }
}

// Flat pairs (both pixels alike) come back within 3 of every colour tried.
TEST(PairDecoding, FullDisplayGivesFlatPairsBack) {
  int worst = 0;
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 3) {
      for (int b = 0; b < 256; b += 7) {
        const auto red = static_cast<std::uint8_t>(r), green = static_cast<std::uint8_t>(g),
                   blue = static_cast<std::uint8_t>(b);
        const PairPixels p =
            decode_pair(encode_pixel_pair(red, green, blue, red, green, blue), Display::kFull);
        for (int k = 0; k < 6; ++k) {
          worst = std::max(worst, std::abs(p.rgb[k] - (k % 3 == 0 ? r : k % 3 == 1 ? g : b)));
        }
      }
    }
  }
  EXPECT_LE(worst, 3);
}

// Where no channel had to be clamped, encoding the decoded pixels again
// gives the word back within 1 in each byte.
TEST(PairDecoding, FullDisplayReencodesToTheSameWord) {
  std::uint32_t x = 99;
  int tried = 0;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1664525u + 1013904223u;
    const PairPixels p = decode_pair(x, Display::kFull);
    // A channel of 0 or 255 may have been clamped: such words are left out.
    bool clamped = false;
    for (const std::uint8_t v : p.rgb) clamped |= v == 0 || v == 255;
    if (clamped) continue;
    ++tried;
    const std::uint32_t again =
        encode_pixel_pair(p.rgb[0], p.rgb[1], p.rgb[2], p.rgb[3], p.rgb[4], p.rgb[5]);
    for (int shift = 0; shift < 32; shift += 8) {
      const int a = static_cast<int>((x >> shift) & 0xFF),
                b = static_cast<int>((again >> shift) & 0xFF);
      ASSERT_LE(std::abs(a - b), 1) << std::hex << x << " became " << again;
    }
  }
  EXPECT_GT(tried, 10000);
}

}  // namespace
