// Reading a header that Kestrin wrote: its size, then its words, row by row.
#pragma once

// The header's text is read in blocks of a fixed size and taken apart into
// C tokens as it comes, so a header of any size, or with a line of any length,
// costs the same memory. White space and comments may stand between any two
// tokens, and lines may end in LF or CR LF. The shape read is
//
//   #define <PREFIX>_WIDTH (<width>)
//   #define <PREFIX>_HEIGHT (<height>)
//   #define <PREFIX>_SIZE (<width x height>)
//   const u32 <name>_Bitmap[<height>*<width>]={ <word>, <word>, ... };
//
// with width x height / 2 words, each "0x" and 1 to 8 hexadecimal digits,
// separated by commas (one may follow the last), and nothing after "};".

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/byte_stream.h"

namespace kestrin::preview {

struct HeaderText {
  platform::ByteSource source{};
  std::uint8_t* buffer = nullptr;  // a block of the text: bytes `at` to `end` are unread
  std::size_t at = 0;
  std::size_t end = 0;
  std::uint64_t offset = 0;  // of buffer[0] in the text
  std::uint64_t line = 1;    // of buffer[at]
  bool source_ended = false;
  bool read_failed = false;
  // The array, once its head has been read.
  std::uint64_t words_wanted = 0;
  std::uint64_t words_read = 0;
  bool closed = false;  // its "}" has been read
};

struct HeaderShape {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t words = 0;  // width x height / 2
  std::uint64_t array_line = 0;
};

// Why a header was refused; the messages are the driver's.
struct HeaderProblem {
  enum class Kind {
    kNone,
    kReadFailed,   // the source failed
    kUnexpected,   // at `line`: `expected`, `found`
    kWordCount,    // the array holds `words_found`, not `words_wanted`
    kTooFewBytes,  // after `line`, `bytes_left` bytes cannot hold `words_wanted`
  };
  Kind kind = Kind::kNone;
  std::uint64_t line = 0;
  std::string expected;
  std::string found;
  std::uint64_t words_found = 0;
  std::uint64_t words_wanted = 0;
  std::uint64_t bytes_left = 0;
};

void open_header_text(HeaderText* text, platform::ByteSource source);

// Where the array's words start, as read_header_head leaves the text.
struct WordsStart {
  std::uint64_t offset = 0;  // in the text
  std::uint64_t line = 1;
  std::uint64_t words = 0;  // the array's
};
WordsStart words_start(const HeaderText& text);

// Gets ready to read the words again from `start`, from `source`, which
// reads the text from there on.
void reopen_header_words(HeaderText* text, platform::ByteSource source, const WordsStart& start);

// Reads the three defines and the array's head, and checks that they agree
// and that a source of known size can hold the words they announce.
bool read_header_head(HeaderText* text, HeaderShape* shape, HeaderProblem* problem);

// Reads the next `count` words of the array.
bool read_header_words(HeaderText* text, std::uint32_t* words, std::size_t count,
                       HeaderProblem* problem);

// Reads the end of the array, "};", and the end of the text; words past
// those the head announced are counted for the message.
bool read_header_tail(HeaderText* text, HeaderProblem* problem);

}  // namespace kestrin::preview
