// The pixel-pair word and the Magic Pink rule, against their reference values.

#include "kestrin/pixel_pair.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using kestrin::apply_magic_pink;
using kestrin::Colour3;
using kestrin::encode_pixel_pair;

struct PairCase {
  std::uint8_t left[3];   // red, green, blue
  std::uint8_t right[3];  // red, green, blue
  std::uint32_t word;
};

TEST(PixelPair, EncodesReferenceWords) {
  const PairCase cases[] = {
      {{0, 0, 0}, {0, 0, 0}, 0x00800080},         {{255, 255, 255}, {255, 255, 255}, 0xFF80FF80},
      {{255, 0, 255}, {255, 0, 255}, 0x69D469EA}, {{255, 0, 0}, {0, 0, 0}, 0x4C6A00BF},
      {{0, 0, 255}, {255, 255, 255}, 0x1DBFFF75}, {{255, 0, 0}, {0, 0, 255}, 0x4CA91DB5},
      {{0, 255, 0}, {0, 255, 0}, 0x952B9515},     {{255, 0, 255}, {0, 255, 0}, 0x697F957F},
      {{0, 0, 0}, {0, 255, 0}, 0x0055954A},
  };
  for (const PairCase& c : cases) {
    EXPECT_EQ(
        encode_pixel_pair(c.left[0], c.left[1], c.left[2], c.right[0], c.right[1], c.right[2]),
        c.word)
        << std::hex << "expected 0x" << c.word;
  }
}

// Each pixel's chroma is rounded down before the pair is averaged; averaging
// the raw numerators first would give a different Cb here.
TEST(PixelPair, RoundsEachChromaBeforeAveraging) {
  // Cb numerators 12800000 - 16874 = 12783126 (127) and 12800000 + 50000 = 12850000 (128):
  // per-pixel rounding gives (127 + 128) / 2 = 127; averaging first gives 128.
  const std::uint32_t word = encode_pixel_pair(1, 0, 0, 0, 0, 1);
  EXPECT_EQ((word >> 16) & 0xFF, 127u);
}

struct Pixel {
  std::uint8_t bgr[3];
};

const Colour3 kKey{0xFF, 0x00, 0xFF};          // magenta as blue, green, red
const Colour3 kReplacement{0x10, 0x20, 0x30};  // blue 16, green 32, red 48

TEST(MagicPink, RepaintsALoneKeyPixelOnEitherSide) {
  Pixel magenta{{255, 0, 255}}, green{{0, 255, 0}};
  Pixel left = magenta, right = green;
  apply_magic_pink(left.bgr, right.bgr, kKey, kReplacement);
  EXPECT_EQ(left.bgr[0], 0x10);
  EXPECT_EQ(left.bgr[1], 0x20);
  EXPECT_EQ(left.bgr[2], 0x30);
  EXPECT_EQ(right.bgr[1], 255);

  left = green;
  right = magenta;
  apply_magic_pink(left.bgr, right.bgr, kKey, kReplacement);
  EXPECT_EQ(left.bgr[1], 255);
  EXPECT_EQ(right.bgr[0], 0x10);
  EXPECT_EQ(right.bgr[2], 0x30);
}

TEST(MagicPink, KeepsAWholeKeyPairAndOtherPairs) {
  Pixel left{{255, 0, 255}}, right{{255, 0, 255}};
  apply_magic_pink(left.bgr, right.bgr, kKey, kReplacement);
  EXPECT_EQ(left.bgr[0], 255);
  EXPECT_EQ(right.bgr[2], 255);

  Pixel near_key{{255, 1, 255}}, other{{1, 2, 3}};
  apply_magic_pink(near_key.bgr, other.bgr, kKey, kReplacement);
  EXPECT_EQ(near_key.bgr[1], 1);  // one byte off the key is not the key
  EXPECT_EQ(other.bgr[0], 1);
}

TEST(MagicPink, DefaultKeyPairsEncodeAsDocumented) {
  const Colour3 black{0, 0, 0};
  Pixel left{{255, 0, 255}}, right{{0, 255, 0}};
  apply_magic_pink(left.bgr, right.bgr, kKey, black);
  EXPECT_EQ(encode_pixel_pair(left.bgr[2], left.bgr[1], left.bgr[0], right.bgr[2], right.bgr[1],
                              right.bgr[0]),
            0x0055954Au);
}

}  // namespace
