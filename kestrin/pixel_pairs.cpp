// Pixel pairs eight at a time with AVX2 or four with SSE2 where the processor
// has them, and one at a time elsewhere.

#include "kestrin/pixel_pairs.h"

#include "kestrin/pixel_pair.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kestrin {

namespace {

#ifdef __SSE2__

// Four pairs per step. Every word must equal encode_pixel_pair's bit for bit,
// so the arithmetic stays exact:
//  - _mm_madd_epi16 multiplies 16-bit lanes, so each pixel is laid out as the
//    lane pairs (blue, green) and (red, spare) and every constant is made to
//    fit 16 bits. The blue-difference ones are all even and are halved along
//    with their divisor; 50000 becomes twice 25000, and -41869 is split into
//    -32768 and -9101.
//  - floor(n / (2^k * d)) == floor(floor(n / 2^k) / d), so each numerator is
//    first shifted down to below 2^15 (luma) or 2^20 (chroma) at no loss.
//  - Luma: 33555 is 2^22 / 125 rounded up, and x * 33555 >> 22 is x / 125
//    rounded down because x times the rounding excess (71) stays below 2^22.
//  - Chroma: x below 2^20 converts to a float exactly. kChromaScale is the
//    float just above 1 / 3125, so a multiple of 3125 never comes out below
//    its quotient; the product's excess (under 2^20 * 2^-35 from the scale,
//    plus 2^-16 from rounding a quotient under 512) stays below the 1 / 3125
//    gap to the next whole number, so truncation rounds down exactly.
constexpr float kChromaScale = 0x1.4f8b5ap-12f;
constexpr int kLumaScale = 33555;

inline __m128i lane_pair(int low, int high) {
  return _mm_setr_epi16(static_cast<short>(low), static_cast<short>(high), static_cast<short>(low),
                        static_cast<short>(high), static_cast<short>(low), static_cast<short>(high),
                        static_cast<short>(low), static_cast<short>(high));
}

// floor(n / (2^shift * 3125)) for non-negative lanes below 2^(shift + 20).
inline __m128i divide_chroma(__m128i n, int shift) {
  const __m128 x = _mm_cvtepi32_ps(_mm_srli_epi32(n, shift));
  return _mm_cvttps_epi32(_mm_mul_ps(x, _mm_set1_ps(kChromaScale)));
}

struct Sums {
  __m128i luma;         // 299R + 587G + 114B
  __m128i chroma_blue;  // half the blue-difference numerator
  __m128i chroma_red;
};

// `pixels` holds four pixels, one per 32-bit lane: blue, green, red, spare.
inline Sums weigh(__m128i pixels) {
  const __m128i zero = _mm_setzero_si128();
  const __m128 low = _mm_castsi128_ps(_mm_unpacklo_epi8(pixels, zero));
  const __m128 high = _mm_castsi128_ps(_mm_unpackhi_epi8(pixels, zero));
  const __m128i blue_green = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i red = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));

  Sums sums;
  sums.luma = _mm_add_epi32(_mm_madd_epi16(blue_green, lane_pair(114, 587)),
                            _mm_madd_epi16(red, lane_pair(299, 0)));
  sums.chroma_blue =
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(blue_green, lane_pair(25000, -16563)),
                                  _mm_madd_epi16(red, lane_pair(-8437, 0))),
                    _mm_set1_epi32(6400000));
  const __m128i red_half = _mm_madd_epi16(red, lane_pair(25000, 0));
  sums.chroma_red =
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(blue_green, lane_pair(-8131, -32768)),
                                  _mm_madd_epi16(blue_green, lane_pair(0, -9101))),
                    _mm_add_epi32(_mm_slli_epi32(red_half, 1), _mm_set1_epi32(12800000)));
  return sums;
}

// Loads stay inside the 24 bytes: one at byte 0 and one at byte 8.
inline void encode_four(const std::uint8_t* pixels, std::uint32_t* words) {
  const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 8));
  // One pair per 64-bit half, left pixel at byte 0.
  const __m128i pairs01 = _mm_castpd_si128(
      _mm_move_sd(_mm_castsi128_pd(_mm_slli_si128(front, 2)), _mm_castsi128_pd(front)));
  const __m128i pairs23 = _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(_mm_srli_si128(back, 2)),
                                                       _mm_castsi128_pd(_mm_srli_si128(back, 4))));
  // Moving each half up a byte puts the right pixel at byte 4.
  const __m128 right01 = _mm_castsi128_ps(_mm_slli_epi64(pairs01, 8));
  const __m128 right23 = _mm_castsi128_ps(_mm_slli_epi64(pairs23, 8));
  const Sums left = weigh(_mm_castps_si128(_mm_shuffle_ps(
      _mm_castsi128_ps(pairs01), _mm_castsi128_ps(pairs23), _MM_SHUFFLE(2, 0, 2, 0))));
  const Sums right =
      weigh(_mm_castps_si128(_mm_shuffle_ps(right01, right23, _MM_SHUFFLE(3, 1, 3, 1))));

  // 16-bit lanes: right luma of pairs 0-3, then left luma.
  const __m128i luma = _mm_srli_epi16(
      _mm_mulhi_epu16(_mm_packs_epi32(_mm_srli_epi32(right.luma, 3), _mm_srli_epi32(left.luma, 3)),
                      _mm_set1_epi16(static_cast<short>(kLumaScale))),
      6);
  // Each pixel's chroma is rounded down before the pair's two are averaged.
  const __m128i left_chroma =
      _mm_packs_epi32(divide_chroma(left.chroma_red, 5), divide_chroma(left.chroma_blue, 4));
  const __m128i right_chroma =
      _mm_packs_epi32(divide_chroma(right.chroma_red, 5), divide_chroma(right.chroma_blue, 4));
  const __m128i chroma = _mm_srli_epi16(_mm_add_epi16(left_chroma, right_chroma), 1);

  // Bytes: red-difference 0-3, blue-difference 0-3, right luma 0-3, left luma
  // 0-3; interleaved into words, lowest byte first.
  const __m128i bytes = _mm_packus_epi16(chroma, luma);
  const __m128i halves = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(words),
                   _mm_unpacklo_epi16(halves, _mm_srli_si128(halves, 8)));
}

#endif

#if defined(__SSE2__) && defined(__GNUC__) && defined(__x86_64__)
#define KL_AVX2 __attribute__((target("avx2")))

// The same steps as encode_four, eight pairs at a time where the processor
// has AVX2: each 128-bit lane of a register does one group of four, so every
// lane-wise step stays as it is.
KL_AVX2 inline __m256i lane_pair8(int low, int high) {
  return _mm256_set1_epi32(static_cast<int>((static_cast<unsigned>(high) << 16) |
                                            (static_cast<unsigned>(low) & 0xFFFF)));
}

KL_AVX2 inline __m256i divide_chroma8(__m256i n, int shift) {
  const __m256 x = _mm256_cvtepi32_ps(_mm256_srli_epi32(n, shift));
  return _mm256_cvttps_epi32(_mm256_mul_ps(x, _mm256_set1_ps(kChromaScale)));
}

struct Sums8 {
  __m256i luma, chroma_blue, chroma_red;
};

KL_AVX2 inline Sums8 weigh8(__m256i pixels) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256 low = _mm256_castsi256_ps(_mm256_unpacklo_epi8(pixels, zero));
  const __m256 high = _mm256_castsi256_ps(_mm256_unpackhi_epi8(pixels, zero));
  const __m256i blue_green =
      _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m256i red = _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
  Sums8 sums;
  sums.luma = _mm256_add_epi32(_mm256_madd_epi16(blue_green, lane_pair8(114, 587)),
                               _mm256_madd_epi16(red, lane_pair8(299, 0)));
  sums.chroma_blue =
      _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(blue_green, lane_pair8(25000, -16563)),
                                        _mm256_madd_epi16(red, lane_pair8(-8437, 0))),
                       _mm256_set1_epi32(6400000));
  const __m256i red_half = _mm256_madd_epi16(red, lane_pair8(25000, 0));
  sums.chroma_red = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_madd_epi16(blue_green, lane_pair8(-8131, -32768)),
                       _mm256_madd_epi16(blue_green, lane_pair8(0, -9101))),
      _mm256_add_epi32(_mm256_slli_epi32(red_half, 1), _mm256_set1_epi32(12800000)));
  return sums;
}

// Loads stay inside the 48 bytes.
KL_AVX2 void encode_eight(const std::uint8_t* pixels, std::uint32_t* words) {
  const auto load = [](const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  const __m256i front = _mm256_setr_m128i(load(pixels), load(pixels + 24));
  const __m256i back = _mm256_setr_m128i(load(pixels + 8), load(pixels + 32));
  const __m256i pairs01 = _mm256_castpd_si256(_mm256_blend_pd(
      _mm256_castsi256_pd(_mm256_slli_si256(front, 2)), _mm256_castsi256_pd(front), 0x5));
  const __m256i pairs23 =
      _mm256_castpd_si256(_mm256_blend_pd(_mm256_castsi256_pd(_mm256_srli_si256(back, 2)),
                                          _mm256_castsi256_pd(_mm256_srli_si256(back, 4)), 0x5));
  const __m256 right01 = _mm256_castsi256_ps(_mm256_slli_epi64(pairs01, 8));
  const __m256 right23 = _mm256_castsi256_ps(_mm256_slli_epi64(pairs23, 8));
  const Sums8 left = weigh8(_mm256_castps_si256(_mm256_shuffle_ps(
      _mm256_castsi256_ps(pairs01), _mm256_castsi256_ps(pairs23), _MM_SHUFFLE(2, 0, 2, 0))));
  const Sums8 right =
      weigh8(_mm256_castps_si256(_mm256_shuffle_ps(right01, right23, _MM_SHUFFLE(3, 1, 3, 1))));
  const __m256i luma = _mm256_srli_epi16(
      _mm256_mulhi_epu16(
          _mm256_packs_epi32(_mm256_srli_epi32(right.luma, 3), _mm256_srli_epi32(left.luma, 3)),
          _mm256_set1_epi16(static_cast<short>(kLumaScale))),
      6);
  const __m256i left_chroma =
      _mm256_packs_epi32(divide_chroma8(left.chroma_red, 5), divide_chroma8(left.chroma_blue, 4));
  const __m256i right_chroma =
      _mm256_packs_epi32(divide_chroma8(right.chroma_red, 5), divide_chroma8(right.chroma_blue, 4));
  const __m256i chroma = _mm256_srli_epi16(_mm256_add_epi16(left_chroma, right_chroma), 1);
  const __m256i bytes = _mm256_packus_epi16(chroma, luma);
  const __m256i halves = _mm256_unpacklo_epi8(bytes, _mm256_srli_si256(bytes, 8));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(words),
                      _mm256_unpacklo_epi16(halves, _mm256_srli_si256(halves, 8)));
}

bool has_avx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}
#endif

inline std::uint32_t encode_one(const std::uint8_t* px) {
  return encode_pixel_pair(px[2], px[1], px[0], px[5], px[4], px[3]);
}

}  // namespace

void encode_pixel_pairs(const std::uint8_t* pixels, std::size_t count, std::uint32_t* words) {
  std::size_t pair = 0;
#ifdef KL_AVX2
  if (count >= 8 && has_avx2()) {
    for (; pair + 8 <= count; pair += 8) encode_eight(pixels + 6 * pair, words + pair);
  }
#endif
#ifdef __SSE2__
  for (; pair + 4 <= count; pair += 4) encode_four(pixels + 6 * pair, words + pair);
  // A short end is done as the last four pairs again; the words it repeats
  // come out the same.
  if (pair < count && count >= 4) {
    encode_four(pixels + 6 * (count - 4), words + count - 4);
    return;
  }
#endif
  for (; pair < count; ++pair) words[pair] = encode_one(pixels + 6 * pair);
}

}  // namespace kestrin
