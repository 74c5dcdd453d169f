// Words as Kestrin spells them, read straight from a block: one at a time
// with SSE2, four with AVX2 where the processor has it.

#include "kestrin/preview/plain_words.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "kestrin/preview/processor.h"

namespace kestrin::preview {

namespace {

// One word as Kestrin writes it, "0x" and eight digits and a comma, from
// the 16 bytes at `p`.
inline bool read_plain_word(const std::uint8_t* p, std::uint32_t* word) {
  if (p[0] != '0' || (p[1] | 0x20) != 'x' || p[10] != ',') return false;
#ifdef __SSE2__
  // Every byte at once: its value as a digit, and whether it is one. Bytes
  // from 0x80 on are negative here, so they are neither.
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i lower = _mm_or_si128(v, _mm_set1_epi8(0x20));
  const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                      _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                       _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
  if ((_mm_movemask_epi8(_mm_or_si128(digit, letter)) & 0x3FC) != 0x3FC) return false;
  // A digit's low four bits are its value; a letter's are 1 to 6, nine short.
  const __m128i value =
      _mm_add_epi8(_mm_and_si128(v, _mm_set1_epi8(0x0F)), _mm_and_si128(letter, _mm_set1_epi8(9)));
  // Each 16-bit lane from 1 to 4 holds two digits, the first in its low byte.
  const __m128i bytes = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(value, _mm_set1_epi16(0xFF)), 4),
                                     _mm_srli_epi16(value, 8));
  const auto packed = static_cast<std::uint32_t>(
      _mm_cvtsi128_si32(_mm_srli_si128(_mm_packus_epi16(bytes, bytes), 1)));
  *word = packed >> 24 | (packed >> 8 & 0xFF00) | (packed << 8 & 0xFF0000) | packed << 24;
  return true;
#else
  std::uint32_t v = 0, invalid = 0;
  for (int i = 2; i < 10; ++i) {
    const std::uint8_t digit = hex_value(p[i]);
    invalid |= digit;
    v = v << 4 | (digit & 0xF);
  }
  *word = v;
  return (invalid & 0xF0) == 0;
#endif
}

#ifdef KL_AVX2

// Two words of the form "0xXXXXXXXX, " at `p` (in the low 128 bits) and at
// `p + 12` (in the high), checked and converted at once: the frame, "0x" and
// ", ", byte for byte (bit 5 set in the 'x' alone, which only 'X' and 'x'
// give 'x' with); the digits by their ranges. False unless both are whole.
KL_AVX2 inline bool read_two_plain_words(const std::uint8_t* p, std::uint32_t* words) {
  const __m256i v = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
  const __m256i lower = _mm256_or_si256(v, _mm256_set1_epi8(0x20));
  const __m256i digit = _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8('0' - 1)),
                                         _mm256_cmpgt_epi8(_mm256_set1_epi8('9' + 1), v));
  const __m256i letter = _mm256_and_si256(_mm256_cmpgt_epi8(lower, _mm256_set1_epi8('a' - 1)),
                                          _mm256_cmpgt_epi8(_mm256_set1_epi8('f' + 1), lower));
  const __m256i x_lowered =
      _mm256_or_si256(v, _mm256_setr_epi8(0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  const __m256i frame = _mm256_cmpeq_epi8(
      x_lowered, _mm256_setr_epi8('0', 'x', 0, 0, 0, 0, 0, 0, 0, 0, ',', ' ', 0, 0, 0, 0, '0', 'x',
                                  0, 0, 0, 0, 0, 0, 0, 0, ',', ' ', 0, 0, 0, 0));
  const __m256i digits_at =
      _mm256_setr_epi8(0, 0, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1,
                       -1, -1, -1, -1, 0, 0, 0, 0, 0, 0);
  const __m256i whole = _mm256_or_si256(_mm256_and_si256(_mm256_or_si256(digit, letter), digits_at),
                                        _mm256_andnot_si256(digits_at, frame));
  if ((_mm256_movemask_epi8(whole) & 0x0FFF0FFF) != 0x0FFF0FFF) return false;
  // Digit values; then each pair of digits as a byte (16 x first + second);
  // then the four bytes of each word, last pair first, as a little-endian word.
  const __m256i value = _mm256_add_epi8(_mm256_and_si256(v, _mm256_set1_epi8(0x0F)),
                                        _mm256_and_si256(letter, _mm256_set1_epi8(9)));
  const __m256i pairs = _mm256_maddubs_epi16(value, _mm256_set1_epi16(0x0110));
  const __m256i ordered = _mm256_shuffle_epi8(
      pairs, _mm256_setr_epi8(8, 6, 4, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 8, 6, 4,
                              2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  const __m256i both =
      _mm256_permutevar8x32_epi32(ordered, _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(words), _mm256_castsi256_si128(both));
  return true;
}

// Four words 12 bytes apart, reading 48 + 4 bytes from `p`.
KL_AVX2 inline bool read_four_plain_words(const std::uint8_t* p, std::uint32_t* words) {
  return read_two_plain_words(p, words) && read_two_plain_words(p + 24, words + 2);
}

#endif

}  // namespace

std::size_t read_block_words(const std::uint8_t* block, std::size_t end, BlockPlace* place,
                             std::uint32_t* words, std::size_t count, bool* other_text) {
  constexpr std::size_t kRoom = 16;  // read_plain_word's bytes
  std::size_t n = 0, at = place->at;
  std::uint64_t line = place->line;
  *other_text = false;
#ifdef KL_AVX2
  const bool wide = has_avx2();
#endif
  while (n < count && end - at >= kRoom) {
#ifdef KL_AVX2
    // Four at a time where they follow each other 12 bytes apart, as
    // within Kestrin's lines.
    if (wide && count - n >= 4 && end - at >= 48 + kRoom &&
        read_four_plain_words(block + at, &words[n])) {
      n += 4;
      at += 48;
      continue;
    }
#endif
    if (read_plain_word(block + at, &words[n])) {
      ++n;
      at += 11;
      at += block[at] == ' ';  // as Kestrin writes them
    } else if (is_blank(block[at])) {
      for (; at < end && is_blank(block[at]); ++at) line += block[at] == '\n';
    } else {
      *other_text = true;
      break;
    }
  }
  place->at = at;
  place->line = line;
  return n;
}

}  // namespace kestrin::preview
