// Escaping text for string literals and line comments.
#pragma once

// Writing any text into C source: as the body of a string literal, and as a
// path in a line comment.

#include <cstddef>
#include <string>

namespace lortane {

// The most characters one text byte can take inside a literal (an octal escape).
inline constexpr std::size_t kMaxEscapedPerByte = 4;

// Writes the body of a C string literal (without the quotes) whose value is
// exactly `text`, and returns the number of characters written. `out` must hold
// kMaxEscapedPerByte * length characters.
//
// Quote and backslash get a backslash; a '?' directly after a '?' becomes \? so
// that no trigraph can form; zero, control bytes other than tab, DEL and bytes
// that are not part of well-formed UTF-8 become three-digit octal escapes, which
// cannot swallow a digit that follows. Well-formed UTF-8 is kept as it is, except
// the bidirectional embedding, override and isolate controls, which are escaped
// byte by byte because compilers reject them when unpaired.
std::size_t escape_literal(const unsigned char* text, std::size_t length, char* out);

// Length of the well-formed UTF-8 sequence of two to four bytes at `text`, or 0
// when the bytes there (at most `available` of them) do not form one.
std::size_t utf8_sequence_length(const unsigned char* text, std::size_t available);

// The fast way for ordinary lines: writes to `out` the elements ("...",
// and the line end) of the lines from `text` on, as long as none of their
// bytes needs an escape, and sets `*written` to the characters written.
// A line that ends (in LF, or CR LF) within `max_length` bytes is one
// element; one that runs on plain past `max_length` gives an element of its
// first `max_length` bytes, and the rest follows as if it were a line of its
// own, which splits it as the line itself would be. Stops at the first line
// that needs escape_literal, at one whose end lies too near the end of the
// `available` bytes to be seen, and when fewer than max_length + 20 of the
// `room` characters of `out` are left (up to sixteen past an element may be
// written). Returns the bytes of `text` that the elements hold, line ends
// included.
std::size_t copy_plain_lines(const unsigned char* text, std::size_t available,
                             std::size_t max_length, char* out, std::size_t room,
                             std::size_t* written);

// The path as it may stand in the generated file's line comment, which must
// compile whatever the path holds: control bytes other than tab are written
// as escapes (\n, \r, \033) and the Unicode bidirectional controls as
// \u202E-style text; a path that would end the line in a backslash or in
// "??/" (a backslash under trigraphs), blanks after it or not, gets a '|'
// after it, as either would join the next line to the comment. Any other
// path stays byte for byte as typed.
std::string comment_safe_path(const std::string& path);

}  // namespace lortane
