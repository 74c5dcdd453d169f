// Words as Kestrin spells them, read straight from a block, one at a time
// with SSE2.

#include "kestrin/preview/plain_words.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// C's white space but a CR alone, which the compiler takes for a line end
// and the token reader refuses.
inline bool is_plain_blank(const std::uint8_t* block, std::size_t at, std::size_t end) {
  return is_blank(block[at]) && (block[at] != '\r' || (at + 1 < end && block[at + 1] == '\n'));
}

}  // namespace

std::size_t read_block_words(const std::uint8_t* block, std::size_t end, BlockPlace* place,
                             std::uint32_t* words, std::size_t count, bool* other_text) {
  constexpr std::size_t kRoom = 16;  // read_plain_word's bytes
  std::size_t n = 0, at = place->at;
  std::uint64_t line = place->line;
  *other_text = false;
  while (n < count && end - at >= kRoom) {
    if (read_plain_word(block + at, &words[n])) {
      ++n;
      at += 11;
      at += block[at] == ' ';  // as Kestrin writes them
    } else if (is_plain_blank(block, at, end)) {
      for (; at < end && is_plain_blank(block, at, end); ++at) line += block[at] == '\n';
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
