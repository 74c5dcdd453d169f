// Feeds arbitrary bytes through the string-array writer, in memory, reads the
// generated source back by C's own escape rules and compares every literal
// with the piece of text it must hold, split here apart from the program's
// code. It also checks that each literal compiles cleanly (no raw control
// byte, no broken UTF-8, no trigraph) and escapes only what it must. The same
// text is then converted again in small reads, and once with a failing sink
// and once with a failing source. Any difference aborts.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "lortane/array_writer.h"
#include "platform/memory_streams.h"

namespace {

using lortane::ArrayResult;

constexpr std::size_t kPiece = 1023;
const std::string kHead =
    "// This file automatically generated from: fuzz.txt\nconst char * text [] = {\n";
const std::string kTail = "NULL\n};\n";

// A piece of the text: where it starts and how long it is.
struct Piece {
  std::size_t at, length;
};

// Lines end at LF, a CR right before it included. A line that ends gives its
// full 1023-byte pieces and then the rest, even when empty; the last line
// without an end gives its rest only when it is not empty.
void expected_pieces(const std::string& text, std::vector<Piece>* pieces) {
  pieces->clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t lf = text.find('\n', start);
    std::size_t end = lf == std::string::npos ? text.size() : lf;
    if (lf != std::string::npos && end > start && text[end - 1] == '\r') --end;
    std::size_t at = start;
    for (; end - at >= kPiece; at += kPiece) pieces->push_back({at, kPiece});
    if (lf != std::string::npos || at < end) pieces->push_back({at, end - at});
    if (lf == std::string::npos) return;
    start = lf + 1;
  }
}

// Length of the well-formed UTF-8 character at `s`, by its code point: not
// overlong, no surrogate, at most U+10FFFF. 0 when there is none.
std::size_t utf8_length(const std::string& s, std::size_t at, std::uint32_t* code_point) {
  const auto lead = static_cast<unsigned char>(s[at]);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF7 || at + length > s.size()) return 0;
  std::uint32_t cp = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(s[at + i]);
    if ((byte & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (byte & 0x3F);
  }
  static const std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  *code_point = cp;
  return length;
}

// Direction controls that compilers reject when unpaired stay escaped.
bool is_direction_control(std::uint32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// The literal body the writer is expected to produce for `piece`.
void expected_literal(const std::string& piece, std::string* out) {
  std::string& body = *out;
  body.clear();
  for (std::size_t i = 0; i < piece.size();) {
    const auto byte = static_cast<unsigned char>(piece[i]);
    std::uint32_t cp = 0;
    std::size_t length = byte >= 0x80 ? utf8_length(piece, i, &cp) : 0;
    if (byte == '"' || byte == '\\') {
      body += '\\';
      body += piece[i++];
    } else if (byte == '?' && i > 0 && piece[i - 1] == '?') {
      body += "\\?";
      ++i;
    } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F ||
               (byte >= 0x80 && (length == 0 || is_direction_control(cp)))) {
      const char octal[4] = {'\\', static_cast<char>('0' + (byte >> 6)),
                             static_cast<char>('0' + ((byte >> 3) & 7)),
                             static_cast<char>('0' + (byte & 7))};
      body.append(octal, 4);
      ++i;
    } else {
      length = length == 0 ? 1 : length;
      body.append(piece, i, length);
      i += length;
    }
  }
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one string literal at `*at` (just past its opening quote) by C's
// rules up to its closing quote; checks that it holds nothing a compiler
// could warn about or read differently.
void read_literal(const std::string& source, std::size_t* at, std::string* out) {
  std::string& value = *out;
  value.clear();
  std::size_t i = *at;
  for (;;) {
    check(i < source.size(), "a literal runs to the end of the source");
    const auto c = static_cast<unsigned char>(source[i]);
    if (c == '"') break;
    check(c != '\n' && (c >= 0x20 || c == '\t') && c != 0x7F,
          [&] { return "a raw control byte in a literal at " + std::to_string(i); });
    check(!(c == '?' && source.compare(i, 2, "??") == 0 && i + 2 < source.size() &&
            std::string("=/'()!<>-").find(source[i + 2]) != std::string::npos),
          [&] { return "a trigraph in a literal at " + std::to_string(i); });
    if (c >= 0x80) {
      std::uint32_t cp = 0;
      const std::size_t length = utf8_length(source, i, &cp);
      check(length != 0 && !is_direction_control(cp), "raw bytes that are not plain UTF-8");
      value.append(source, i, length);
      i += length;
      continue;
    }
    if (c != '\\') {
      value += source[i++];
      continue;
    }
    const char e = source.at(++i);
    static const std::string kSimple = "\"\\?'abfnrtv";
    static const std::string kValue = "\"\\?'\a\b\f\n\r\t\v";
    if (kSimple.find(e) != std::string::npos) {
      value += kValue[kSimple.find(e)];
      ++i;
    } else if (e >= '0' && e <= '7') {
      int v = 0;
      for (int digits = 0; digits < 3 && source[i] >= '0' && source[i] <= '7'; ++digits) {
        v = v * 8 + (source[i++] - '0');
      }
      check(v <= 0xFF, "an octal escape past 0377");
      value += static_cast<char>(v);
    } else if (e == 'x') {
      int v = 0;
      bool any = false;
      for (++i; hex_value(source[i]) >= 0; ++i, any = true) {
        v = v * 16 + hex_value(source[i]);
        check(v <= 0xFF, "a hex escape past 0xFF");
      }
      check(any, "\\x without digits");
      value += static_cast<char>(v);
    } else {
      fail(std::string("an unknown escape \\") + e);
    }
  }
  *at = i + 1;
}

void check_source(const std::string& source, const std::string& text,
                  const std::vector<Piece>& pieces) {
  static std::string piece, value, literal;
  check(source.compare(0, kHead.size(), kHead) == 0, "the comment and array head");
  std::size_t at = kHead.size();
  for (std::size_t n = 0; n < pieces.size(); ++n) {
    const auto where = [n](const char* what) { return "element " + std::to_string(n) + what; };
    check(source.compare(at, 1, "\"") == 0, [&] { return where(" does not open with a quote"); });
    const std::size_t body = ++at;
    read_literal(source, &at, &value);
    piece.assign(text, pieces[n].at, pieces[n].length);
    check(value == piece, [&] { return where(" holds other text than its piece"); });
    expected_literal(piece, &literal);
    check(at - 1 - body == literal.size() && source.compare(body, literal.size(), literal) == 0,
          [&] { return where(" escapes differently"); });
    check(source.compare(at, 2, ",\n") == 0,
          [&] { return where(" is not followed by a comma and line end"); });
    at += 2;
  }
  check(source.compare(at, std::string::npos, kTail) == 0, [&] {
    return "after " + std::to_string(pieces.size()) + " elements: not the NULL and closing lines";
  });
}

std::uint32_t hash(const std::uint8_t* data, std::size_t size) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

struct FailingSink {
  std::size_t room;  // bytes taken before the writes fail
  std::size_t taken;
};

bool write_until_full(void* context, const char*, std::size_t size) {
  auto* sink = static_cast<FailingSink*>(context);
  if (size > sink->room - sink->taken) return false;
  sink->taken += size;
  return true;
}

struct FailingSource {
  platform::MemoryInput input;
  int reads_left;  // reads that succeed before one fails
};

bool read_until_broken(void* context, unsigned char* buffer, std::size_t capacity,
                       std::size_t* got) {
  auto* source = static_cast<FailingSource*>(context);
  if (source->reads_left-- == 0) return false;
  const platform::ByteSource memory = platform::memory_source(&source->input, false);
  return memory.read(memory.context, buffer, capacity, got);
}

ArrayResult convert(platform::ByteSource source, platform::ByteSink sink) {
  return lortane::write_string_array("text", "fuzz.txt", source, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Kept from input to input, so that their memory is reused: the sanitizer
  // makes fresh memory dear.
  static std::string text, source, again, ignored;
  text.assign(reinterpret_cast<const char*>(data), size);
  source.clear();
  again.clear();
  ignored.clear();
  platform::MemoryInput whole{data, size, 0, 0};
  check(convert(platform::memory_source(&whole, false), {platform::append_to_string, &source}) ==
            ArrayResult::kWritten,
        "the conversion failed");
  static std::vector<Piece> pieces;
  expected_pieces(text, &pieces);
  check_source(source, text, pieces);

  // Line ends and pieces falling across reads change nothing.
  const std::uint32_t h = hash(data, size);
  platform::MemoryInput parts{data, size, 0, 1 + h % 1031};
  check(convert(platform::memory_source(&parts, false), {platform::append_to_string, &again}) ==
            ArrayResult::kWritten,
        "the conversion in small reads failed");
  check(again == source, [&] {
    return std::string("reading in blocks of " + std::to_string(parts.max_read) +
                       " bytes changes the output");
  });

  // A sink that fills up, and a source that breaks, end the run as failures.
  FailingSink full{(h >> 11) % source.size(), 0};
  platform::MemoryInput for_full{data, size, 0, 0};
  check(convert(platform::memory_source(&for_full, false), {write_until_full, &full}) ==
            ArrayResult::kWriteFailed,
        "a full sink went unnoticed");
  FailingSource broken{{data, size, 0, 1 + h % 1031}, static_cast<int>((h >> 7) % 3)};
  const ArrayResult result =
      convert({read_until_broken, nullptr, -1, &broken}, {platform::append_to_string, &ignored});
  const bool read_everything = broken.reads_left >= 0;
  check(result == (read_everything ? ArrayResult::kWritten : ArrayResult::kReadFailed),
        "a read error went unnoticed");
  return 0;
}
