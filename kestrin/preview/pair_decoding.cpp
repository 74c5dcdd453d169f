// The pair decoding in integer millionths, through tables made once a display.

#include "kestrin/preview/pair_decoding.h"

#include "kestrin/pixel_pair.h"
#include "kestrin/preview/processor.h"

namespace kestrin::preview {

namespace {

constexpr std::int32_t kOne = 1000000;  // the coefficients' unit

struct Coefficients {
  std::int32_t luma;                                 // per level of luma
  std::int32_t black;                                // the luma of black
  std::int32_t red_cr, green_cb, green_cr, blue_cb;  // per level of chroma off 128
};

constexpr Coefficients kConsole{1164000, 16, 1596000, -392000, -813000, 2017000};
constexpr Coefficients kFull{1000000, 0, 1402000, -344136, -714136, 1772000};

// A sum of terms in millionths as a channel: its whole units, rounded down
// (the half that rounds to nearest is in the luma's term), clamped to
// 0..255. Sums stay within 600 million either way, far inside 32 bits.
inline std::uint8_t channel(std::int32_t millionths) {
  if (millionths < 0) return 0;
  const std::int32_t value = millionths / kOne;
  return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

// One display's decoding. Red depends on luma and Cr alone, blue on luma
// and Cb alone: both are looked up whole. Green takes both chroma, so its
// terms are added and divided for each pixel.
struct Tables {
  std::uint8_t red[256][256];   // [Cr][Y]
  std::uint8_t blue[256][256];  // [Cb][Y]
  std::int32_t luma[256];       // the luma's term, and the rounding half
  std::int32_t green_cb[256];
  std::int32_t green_cr[256];
  bool made;
};

Tables g_console;
Tables g_full;

const Tables& tables_of(Display display) {
  const bool full = display == Display::kFull;
  Tables& t = full ? g_full : g_console;
  if (t.made) return t;
  const Coefficients& c = full ? kFull : kConsole;
  for (std::int32_t v = 0; v < 256; ++v) {
    t.luma[v] = c.luma * (v - c.black) + kOne / 2;
    t.green_cb[v] = c.green_cb * (v - 128);
    t.green_cr[v] = c.green_cr * (v - 128);
  }
  for (std::int32_t chroma = 0; chroma < 256; ++chroma) {
    for (std::int32_t y = 0; y < 256; ++y) {
      t.red[chroma][y] = channel(t.luma[y] + c.red_cr * (chroma - 128));
      t.blue[chroma][y] = channel(t.luma[y] + c.blue_cb * (chroma - 128));
    }
  }
  t.made = true;
  return t;
}

inline void decode_into(std::uint32_t word, const Tables& t, std::uint8_t* left,
                        std::uint8_t* right) {
  const std::uint32_t y0 = word >> 24, cb = (word >> 16) & 0xFF;
  const std::uint32_t y1 = (word >> 8) & 0xFF, cr = word & 0xFF;
  const std::int32_t green = t.green_cb[cb] + t.green_cr[cr];
  left[0] = t.red[cr][y0];
  left[1] = channel(t.luma[y0] + green);
  left[2] = t.blue[cb][y0];
  right[0] = t.red[cr][y1];
  right[1] = channel(t.luma[y1] + green);
  right[2] = t.blue[cb][y1];
}

#ifdef KL_AVX2

// Eight words a step, all in 32-bit lanes, exactly as the tables give them:
//  - each channel's sum of terms, in millionths, lies within +-600 million;
//  - clamped to 0 .. 255999999, it is below 2^28, where floor(n / 10^6) is
//    n x 2251799814 >> 51 (2251799814 is 2^51 / 10^6 rounded up, and n times
//    the excess, 0.314752, stays below 2^51 / 10^6 x 10^-6 for every such n).
constexpr std::uint32_t kMillionthsScale = 2251799814;

KL_AVX2 inline __m256i whole_units(__m256i millionths) {
  const __m256i n = _mm256_min_epi32(_mm256_max_epi32(millionths, _mm256_setzero_si256()),
                                     _mm256_set1_epi32(256 * kOne - 1));
  const __m256i scale = _mm256_set1_epi32(static_cast<int>(kMillionthsScale));
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(n, scale), 51);
  const __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), scale), 51);
  return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// Where each output byte of four words comes from: the bytes at `first`
// hold, four words each, R and G and B of the left pixels and R of the
// right; those at `second` G and B of the right and, with four channels, the
// alphas. -1 leaves the byte 0.
struct Shuffles {
  std::int8_t first[32];
  std::int8_t second[32];
};

constexpr Shuffles make_shuffles(unsigned channels) {
  Shuffles s{};
  for (unsigned at = 0; at < 32; ++at) {
    const unsigned word = at / (2 * channels), channel = at % (2 * channels);
    // Channel order within a word: R0 G0 B0 [A0] R1 G1 B1 [A1].
    int source = -1, from_second = 0;
    if (word < 4) {
      const unsigned pixel = channel / channels, c = channel % channels;
      if (c == 3) {
        source = static_cast<int>(8 + 4 * pixel + word);
        from_second = 1;
      } else if (pixel == 0 || c == 0) {
        source = static_cast<int>(4 * (pixel == 0 ? c : 3) + word);
      } else {
        source = static_cast<int>(4 * (c - 1) + word);
        from_second = 1;
      }
    }
    s.first[at] = static_cast<std::int8_t>(from_second ? -1 : source);
    s.second[at] = static_cast<std::int8_t>(from_second ? source : -1);
  }
  return s;
}

constexpr Shuffles kThreeChannels = make_shuffles(3);
constexpr Shuffles kFourChannels = make_shuffles(4);

// Decodes `count` words, a multiple of eight; returns where the output ends.
KL_AVX2 std::uint8_t* decode_eights(const std::uint32_t* words, std::size_t count,
                                    const Coefficients& c, unsigned channels,
                                    std::uint32_t transparent, std::uint8_t* out) {
  const __m256i byte = _mm256_set1_epi32(0xFF), middle = _mm256_set1_epi32(128);
  const __m256i luma = _mm256_set1_epi32(c.luma);
  const __m256i luma_base = _mm256_set1_epi32(kOne / 2 - c.luma * c.black);
  const __m256i red_cr = _mm256_set1_epi32(c.red_cr), green_cb = _mm256_set1_epi32(c.green_cb);
  const __m256i green_cr = _mm256_set1_epi32(c.green_cr), blue_cb = _mm256_set1_epi32(c.blue_cb);
  const Shuffles& s = channels == 3 ? kThreeChannels : kFourChannels;
  const __m128i first_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.first));
  const __m128i first_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.first + 16));
  const __m128i second_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.second));
  const __m128i second_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.second + 16));
  const std::size_t half = 4 * channels;  // bytes of four pairs... times two pixels
  for (std::size_t i = 0; i < count; i += 8) {
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
    const __m256i y0 = _mm256_srli_epi32(w, 24);
    const __m256i cb = _mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(w, 16), byte), middle);
    const __m256i y1 = _mm256_and_si256(_mm256_srli_epi32(w, 8), byte);
    const __m256i cr = _mm256_sub_epi32(_mm256_and_si256(w, byte), middle);
    const __m256i l0 = _mm256_add_epi32(_mm256_mullo_epi32(y0, luma), luma_base);
    const __m256i l1 = _mm256_add_epi32(_mm256_mullo_epi32(y1, luma), luma_base);
    const __m256i red = _mm256_mullo_epi32(cr, red_cr);
    const __m256i green =
        _mm256_add_epi32(_mm256_mullo_epi32(cb, green_cb), _mm256_mullo_epi32(cr, green_cr));
    const __m256i blue = _mm256_mullo_epi32(cb, blue_cb);
    // Bytes, four words a 128-bit half: R0 G0 B0 R1, then G1 B1 and alphas.
    const __m256i alpha = _mm256_andnot_si256(
        _mm256_cmpeq_epi32(w, _mm256_set1_epi32(static_cast<int>(transparent))), byte);
    const __m256i first =
        _mm256_packus_epi16(_mm256_packus_epi32(whole_units(_mm256_add_epi32(l0, red)),
                                                whole_units(_mm256_add_epi32(l0, green))),
                            _mm256_packus_epi32(whole_units(_mm256_add_epi32(l0, blue)),
                                                whole_units(_mm256_add_epi32(l1, red))));
    const __m256i second =
        _mm256_packus_epi16(_mm256_packus_epi32(whole_units(_mm256_add_epi32(l1, green)),
                                                whole_units(_mm256_add_epi32(l1, blue))),
                            _mm256_packus_epi32(alpha, alpha));
    for (int lane = 0; lane < 2; ++lane, out += 2 * half) {
      const __m128i a =
          lane == 0 ? _mm256_castsi256_si128(first) : _mm256_extracti128_si256(first, 1);
      const __m128i b =
          lane == 0 ? _mm256_castsi256_si128(second) : _mm256_extracti128_si256(second, 1);
      const __m128i low =
          _mm_or_si128(_mm_shuffle_epi8(a, first_low), _mm_shuffle_epi8(b, second_low));
      const __m128i high =
          _mm_or_si128(_mm_shuffle_epi8(a, first_high), _mm_shuffle_epi8(b, second_high));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
      if (channels == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
      } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), high);
      }
    }
  }
  return out;
}

#endif

}  // namespace

PairPixels decode_pair(std::uint32_t word, Display display) {
  PairPixels pixels;
  decode_into(word, tables_of(display), pixels.rgb, pixels.rgb + 3);
  return pixels;
}

std::uint32_t transparent_word(const Colour3& key) {
  return encode_pixel_pair(key.red, key.green, key.blue, key.red, key.green, key.blue);
}

void decode_pairs(const std::uint32_t* words, std::size_t count, Display display, unsigned channels,
                  std::uint32_t transparent, std::uint8_t* out) {
  const Tables& t = tables_of(display);
#ifdef KL_AVX2
  if (count >= 8 && has_avx2()) {
    const std::size_t eights = count & ~std::size_t{7};
    out = decode_eights(words, eights, display == Display::kFull ? kFull : kConsole, channels,
                        transparent, out);
    words += eights;
    count -= eights;
  }
#endif
  if (channels == 3) {
    for (std::size_t i = 0; i < count; ++i, out += 6) decode_into(words[i], t, out, out + 3);
    return;
  }
  for (std::size_t i = 0; i < count; ++i, out += 8) {
    decode_into(words[i], t, out, out + 4);
    const std::uint8_t alpha = words[i] == transparent ? 0 : 255;
    out[3] = alpha;
    out[7] = alpha;
  }
}

}  // namespace kestrin::preview
