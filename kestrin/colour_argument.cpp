// Reading a colour from the command line, the same on every platform.

#include "kestrin/colour_argument.h"

#include <cstdint>

namespace kestrin {

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

}  // namespace

bool scan_colour(const char* text, Colour3* colour) {
  const char* p = text;
  while (is_space(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (digit_value(*p) >= 10) return false;
  unsigned base = 10;
  if (*p == '0') {
    base = 8;
    // "0x" with no hexadecimal digit after it is the number 0.
    if ((p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16) {
      base = 16;
      p += 2;
    }
  }
  // A value past the 64-bit range stops at its end, as the C library's
  // conversion does where a long has 64 bits; within it, the bits above
  // 23 simply fall away, whatever the width of an int.
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  std::uint64_t magnitude = 0;
  for (int digit; (digit = digit_value(*p)) < static_cast<int>(base); ++p) {
    if (magnitude > (limit - static_cast<unsigned>(digit)) / base) {
      magnitude = limit;
    } else {
      magnitude = magnitude * base + static_cast<unsigned>(digit);
    }
  }
  const std::uint64_t value = negative ? ~magnitude + 1 : magnitude;
  colour->red = static_cast<std::uint8_t>(value >> 16);
  colour->green = static_cast<std::uint8_t>(value >> 8);
  colour->blue = static_cast<std::uint8_t>(value);
  return true;
}

}  // namespace kestrin
