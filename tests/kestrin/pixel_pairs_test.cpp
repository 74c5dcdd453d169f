// Whole runs of pixel pairs give the one-pair encoder's words.

#include "kestrin/pixel_pairs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "kestrin/pixel_pair.h"

namespace {

using kestrin::encode_pixel_pair;
using kestrin::encode_pixel_pairs;

void put_colour(std::uint8_t* pixel, std::uint32_t rgb) {
  pixel[0] = static_cast<std::uint8_t>(rgb);        // blue
  pixel[1] = static_cast<std::uint8_t>(rgb >> 8);   // green
  pixel[2] = static_cast<std::uint8_t>(rgb >> 16);  // red
}

// Compares every word with the one-pair encoder and names the first pair that
// differs, with its six bytes.
::testing::AssertionResult match_pair_encoder(const std::uint8_t* pixels, std::size_t count,
                                              const std::uint32_t* words) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* px = pixels + 6 * i;
    const std::uint32_t expected = encode_pixel_pair(px[2], px[1], px[0], px[5], px[4], px[3]);
    if (words[i] != expected) {
      std::ostringstream text;
      text << "pair " << i << " (bytes" << std::hex;
      for (int b = 0; b < 6; ++b) text << ' ' << int{px[b]};
      text << "): got 0x" << words[i] << ", expected 0x" << expected;
      return ::testing::AssertionFailure() << text.str();
    }
  }
  return ::testing::AssertionSuccess();
}

// Every colour is a left pixel once and, through an odd multiplier (which
// permutes the colours), a right pixel once, so each pixel's own arithmetic is
// checked over its whole input range on both sides of a pair.
TEST(PixelPairs, MatchesThePairEncoderForEveryColourOnEitherSide) {
  constexpr std::uint32_t kColours = 1u << 24;
  constexpr std::uint32_t kBatch = 4096;
  std::vector<std::uint8_t> pixels(6 * kBatch);
  std::vector<std::uint32_t> words(kBatch);
  for (std::uint32_t first = 0; first < kColours; first += kBatch) {
    for (std::uint32_t i = 0; i < kBatch; ++i) {
      const std::uint32_t colour = first + i;
      put_colour(&pixels[6 * i], colour);
      put_colour(&pixels[6 * i + 3], colour * 0x2F5A73u + 0x91B3u);
    }
    encode_pixel_pairs(pixels.data(), kBatch, words.data());
    ASSERT_TRUE(match_pair_encoder(pixels.data(), kBatch, words.data()))
        << "batch from colour 0x" << std::hex << first;
  }
}

// Runs of every length up to 17 (so every leftover after whole groups, below
// and above one group) and a long odd one, at every byte offset. The buffers
// end exactly at the last pair, so the address sanitizer reports any read past
// it; the word after the run must stay untouched.
TEST(PixelPairs, RandomRunsOfAnyLengthAndOffset) {
  constexpr std::uint32_t kUntouched = 0xDEADBEEF;
  std::mt19937 random(20240611);
  std::vector<std::size_t> counts;
  for (std::size_t count = 0; count <= 17; ++count) counts.push_back(count);
  counts.push_back(1001);
  for (const std::size_t count : counts) {
    for (std::size_t offset = 0; offset < 4; ++offset) {
      const auto storage = std::make_unique<std::uint8_t[]>(offset + 6 * count);
      std::uint8_t* pixels = storage.get() + offset;
      for (std::size_t i = 0; i < 6 * count; ++i) pixels[i] = static_cast<std::uint8_t>(random());
      std::vector<std::uint32_t> words(count + 1, kUntouched);
      encode_pixel_pairs(pixels, count, words.data());
      EXPECT_TRUE(match_pair_encoder(pixels, count, words.data()))
          << count << " pairs at offset " << offset;
      EXPECT_EQ(words[count], kUntouched) << count << " pairs at offset " << offset;
    }
  }
}

}  // namespace
