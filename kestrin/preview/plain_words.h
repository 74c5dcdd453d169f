// Words as Kestrin spells them, read straight from a block of the header's text.
#pragma once

// Kestrin writes every word as "0x" and eight upper-case hexadecimal digits,
// a comma and a space, eight to a line. Read that way, a word costs a few
// instructions; any other spelling is left to the header's token reader.

#include <cstddef>
#include <cstdint>

namespace kestrin::preview {

// The value of each byte as a hexadecimal digit, or 0xFF.
struct HexDigits {
  std::uint8_t value[256];
};

constexpr HexDigits make_hex_digits() {
  HexDigits h{};
  for (int i = 0; i < 256; ++i) h.value[i] = 0xFF;
  for (int i = 0; i < 10; ++i) h.value['0' + i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 6; ++i) {
    h.value['a' + i] = static_cast<std::uint8_t>(10 + i);
    h.value['A' + i] = static_cast<std::uint8_t>(10 + i);
  }
  return h;
}

inline constexpr HexDigits kHexDigits = make_hex_digits();

inline std::uint8_t hex_value(std::uint8_t c) { return kHexDigits.value[c]; }

// C's white space.
inline bool is_blank(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Where the reading of a block stands: its next byte, and that byte's line.
struct BlockPlace {
  std::size_t at;
  std::uint64_t line;
};

// The bytes a block should hold past `at` for read_block_words to go on.
inline constexpr std::size_t kPlainWordsRoom = 64;

// Reads words spelt "0x" and eight hexadecimal digits and a comma, with
// blanks between (whose line ends it counts), from block[place->at] on, at
// most `count`; stops where fewer than 16 bytes are left before `end`, or
// before other text (`*other_text`). Returns how many it read, and leaves
// `place` after them.
std::size_t read_block_words(const std::uint8_t* block, std::size_t end, BlockPlace* place,
                             std::uint32_t* words, std::size_t count, bool* other_text);

}  // namespace kestrin::preview
