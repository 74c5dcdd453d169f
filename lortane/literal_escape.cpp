// The body of a C string literal that holds any text exactly, and a path
// that may stand in a line comment.

#include "lortane/literal_escape.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace lortane {

namespace {

// Bytes that cannot be copied into a literal as they are without a closer look.
constexpr std::array<bool, 256> make_attention_table() {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 0x20; ++byte) table[byte] = byte != '\t';
  for (int byte = 0x7F; byte < 0x100; ++byte) table[byte] = true;
  table['"'] = true;
  table['\\'] = true;
  table['?'] = true;
  return table;
}

constexpr std::array<bool, 256> kNeedsAttention = make_attention_table();

#ifdef __SSE2__
// One bit for each of sixteen bytes that may need a closer look: a control
// byte, 0x7F and above, '"', '\\' and '?', and also a tab.
unsigned candidate_mask(__m128i v) {
  // Signed: bytes of 0x80 and above are negative, so they count as below 0x20.
  const __m128i odd = _mm_or_si128(
      _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)), _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F))),
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
                   _mm_cmpeq_epi8(v, _mm_set1_epi8('?'))));
  return static_cast<unsigned>(_mm_movemask_epi8(odd));
}
#endif

// Copies the run of bytes from `i` on that stand in a literal as they are to
// `out`, and returns where the run ends. Ordinary text is nearly all such
// runs, so where SSE2 is at hand sixteen bytes are copied and tested at a
// time; the bytes stored past the run's end are overwritten by what follows,
// and `out` has room for them (it holds kMaxEscapedPerByte times the text).
inline std::size_t copy_plain_run(const unsigned char* text, std::size_t i, std::size_t length,
                                  char* out) {
  const std::size_t from = i;
#ifdef __SSE2__
  while (length - i >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - from)), v);
    const unsigned mask = candidate_mask(v);
    if (mask == 0) {
      i += 16;
      continue;
    }
    i += static_cast<std::size_t>(__builtin_ctz(mask));
    if (kNeedsAttention[text[i]]) return i;
    out[i++ - from] = '\t';  // a tab, copied as it is
  }
  // The last few bytes of a longer text are tested in the sixteen that end
  // it, and copied in two overlapping halves when they are plain.
  const std::size_t left = length - i;
  if (length >= 16 && left >= 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + length - 16));
    if ((candidate_mask(v) >> (16 - left)) == 0) {
      std::memcpy(out + (i - from), text + i, 8);
      std::memcpy(out + (length - 8 - from), text + length - 8, 8);
      return length;
    }
  }
#endif
  for (; i < length && !kNeedsAttention[text[i]]; ++i) out[i - from] = static_cast<char>(text[i]);
  return i;
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// U+202A..U+202E and U+2066..U+2069, as UTF-8: E2 80 AA..AE and E2 81 A6..A9.
bool is_bidi_control(const unsigned char* s) {
  if (s[0] != 0xE2) return false;
  if (s[1] == 0x80) return s[2] >= 0xAA && s[2] <= 0xAE;
  if (s[1] == 0x81) return s[2] >= 0xA6 && s[2] <= 0xA9;
  return false;
}

char* write_octal(unsigned char byte, char* out) {
  out[0] = '\\';
  out[1] = static_cast<char>('0' + (byte >> 6));
  out[2] = static_cast<char>('0' + ((byte >> 3) & 7));
  out[3] = static_cast<char>('0' + (byte & 7));
  return out + 4;
}

}  // namespace

std::size_t utf8_sequence_length(const unsigned char* s, std::size_t available) {
  // Ranges of the second byte follow from ruling out overlong forms, the
  // surrogates D800..DFFF and code points above 10FFFF.
  std::size_t length;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  unsigned char lead = s[0];
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return 0;
  }
  if (available < length) return 0;
  if (s[1] < second_low || s[1] > second_high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!is_continuation(s[i])) return 0;
  }
  return length;
}

std::size_t escape_literal(const unsigned char* text, std::size_t length, char* out) {
  char* const start = out;
  std::size_t i = 0;
  while (i < length) {
    const std::size_t run_end = copy_plain_run(text, i, length, out);
    out += run_end - i;
    i = run_end;
    if (i == length) break;

    unsigned char byte = text[i];
    if (byte == '"' || byte == '\\') {
      *out++ = '\\';
      *out++ = static_cast<char>(byte);
      ++i;
    } else if (byte == '?') {
      if (i > 0 && text[i - 1] == '?') *out++ = '\\';
      *out++ = '?';
      ++i;
    } else if (byte >= 0x80) {
      std::size_t sequence = utf8_sequence_length(text + i, length - i);
      if (sequence == 0) {
        out = write_octal(byte, out);
        ++i;
      } else if (sequence == 3 && is_bidi_control(text + i)) {
        for (std::size_t k = 0; k < 3; ++k) out = write_octal(text[i + k], out);
        i += 3;
      } else {
        std::memcpy(out, text + i, sequence);
        out += sequence;
        i += sequence;
      }
    } else {
      out = write_octal(byte, out);
      ++i;
    }
  }
  return static_cast<std::size_t>(out - start);
}

std::size_t copy_plain_lines(const unsigned char* text, std::size_t available,
                             std::size_t max_length, char* out, std::size_t room,
                             std::size_t* written) {
  std::size_t taken = 0;
  std::size_t put = 0;
  while (room - put >= max_length + 20) {
    const unsigned char* line = text + taken;
    const std::size_t at_hand = available - taken;
    char* body = out + put + 1;
    const std::size_t length = copy_plain_run(line, 0, std::min(at_hand, max_length), body);
    std::size_t line_end = 0;
    // A line that runs on plain past max_length gives a whole piece, and the
    // rest of it follows as a line of its own.
    if (length < max_length) {
      // Too near the end of what is at hand to be sure of the line end.
      if (at_hand - length < 16) break;
      if (line[length] == '\n') {
        line_end = 1;
      } else if (line[length] == '\r' && line[length + 1] == '\n') {
        line_end = 2;
      } else {
        break;
      }
    }
    out[put] = '"';
    std::memcpy(body + length, "\",\n", 3);
    put += length + 4;
    taken += length + line_end;
  }
  *written = put;
  return taken;
}

std::string comment_safe_path(const std::string& path) {
  const auto* text = reinterpret_cast<const unsigned char*>(path.data());
  std::string safe;
  safe.reserve(path.size());
  char escape[16];
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char byte = text[i];
    if (byte == 0xE2 && path.size() - i >= 3 && is_bidi_control(text + i)) {
      const unsigned code_point = (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu) | 0x2000u;
      std::snprintf(escape, sizeof escape, "\\u%04X", code_point);
      safe += escape;
      i += 2;
    } else if (byte == '\n') {
      safe += "\\n";
    } else if (byte == '\r') {
      safe += "\\r";
    } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      char* end = write_octal(byte, escape);
      safe.append(escape, static_cast<std::size_t>(end - escape));
    } else {
      safe += static_cast<char>(byte);
    }
  }
  // A backslash at the end of the line, spaces between or not, and "??/",
  // which is one under trigraphs, would join the next line to the comment.
  const std::size_t last = safe.find_last_not_of(" \t");
  if (last != std::string::npos &&
      (safe[last] == '\\' || (last >= 2 && safe.compare(last - 2, 3, "?\?/") == 0))) {
    safe += '|';
  }
  return safe;
}

}  // namespace lortane
