// Reading headers: Kestrin's own and other spellings of the same shape, and
// hostile ones, each refused at its line with what was expected there.

#include "kestrin/preview/header_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/memory_streams.h"

namespace {

using kestrin::preview::HeaderProblem;
using kestrin::preview::HeaderShape;
using kestrin::preview::HeaderText;
using Kind = HeaderProblem::Kind;

const std::string kHead =
    "/*\n * File  : pic.bmp\n * Width : 4\n * Height: 2\n*/\n"
    "#define PIC_WIDTH   (4)\n#define PIC_HEIGHT  (2)\n#define PIC_SIZE   (8)\n\n"
    "const u32 pic_Bitmap[2*4]={\n";
const std::string kWords = "0x4C6A00BF, 0x1DBFFF75, \n0xFF80FF80, 0x00800080, \n";
const std::string kTail = "};\n/* END OF FILE */\n";

struct Outcome {
  HeaderShape shape;
  std::vector<std::uint32_t> words;
  HeaderProblem problem;
  bool read = false;
};

// Reads `text` whole, handed out `max_read` bytes at a time, row by row.
Outcome read_all(const std::string& text, std::size_t max_read = 0, bool seekable = true) {
  platform::MemoryInput input{reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 0,
                              max_read};
  HeaderText header;
  Outcome o;
  kestrin::preview::open_header_text(&header, platform::memory_source(&input, seekable));
  if (!kestrin::preview::read_header_head(&header, &o.shape, &o.problem)) return o;
  for (std::uint32_t row = 0; row < o.shape.height; ++row) {
    std::vector<std::uint32_t> words(o.shape.width / 2);
    if (!kestrin::preview::read_header_words(&header, words.data(), words.size(), &o.problem)) {
      return o;
    }
    o.words.insert(o.words.end(), words.begin(), words.end());
  }
  o.read = kestrin::preview::read_header_tail(&header, &o.problem);
  return o;
}

const std::vector<std::uint32_t> kExpectedWords = {0x4C6A00BF, 0x1DBFFF75, 0xFF80FF80, 0x00800080};

TEST(HeaderReader, ReadsKestrinsHeaderInAnyReadSizes) {
  for (std::size_t max_read : {0, 1, 7, 16}) {
    const Outcome o = read_all(kHead + kWords + kTail, max_read);
    ASSERT_TRUE(o.read) << o.problem.expected << " " << o.problem.found;
    EXPECT_EQ(o.shape.width, 4u);
    EXPECT_EQ(o.shape.height, 2u);
    EXPECT_EQ(o.words, kExpectedWords);
  }
}

TEST(HeaderReader, TakesOtherSpellingsOfTheSameShape) {
  const std::string crlf_and_comments =
      "// another comment\r\n#  define X_WIDTH/**/(4)\r\n#define X_HEIGHT (2) /* rows\n*/\r\n"
      "/*\n*/ #define X_SIZE (8)\r\nconst\tu32 _Bitmap [ 2 * 4 ] = {\r\n"
      "0x4c6a00bf,0X1DBFFF75,\r\n0xFF80FF80 ,/* \\ */\f0x800080\r\n};";
  const Outcome o = read_all(crlf_and_comments);
  ASSERT_TRUE(o.read) << o.problem.line << ": " << o.problem.expected << ", " << o.problem.found;
  EXPECT_EQ(o.words, kExpectedWords);
}

struct Refused {
  const char* what;
  std::string text;
  Kind kind;
  std::uint64_t line;
  std::string expected, found;
};

TEST(HeaderReader, RefusesOtherShapesAtTheirLine) {
  const std::string words = "0x4C6A00BF, 0x1DBFFF75, \n0xFF80FF80, 0x00800080, \n";
  const Refused cases[] = {
      {"empty", "", Kind::kUnexpected, 1, "'#define <PREFIX>_WIDTH (<width>)'",
       "the end of the file"},
      {"no defines", "const u32 a_Bitmap[2*4]={", Kind::kUnexpected, 1,
       "'#define <PREFIX>_WIDTH (<width>)'", "'const'"},
      {"negative height", "#define P_WIDTH (4)\n#define P_HEIGHT (-2)", Kind::kUnexpected, 2,
       "a whole number from 0 to 4294967295", "'-'"},
      {"huge width", "#define P_WIDTH (4294967296)", Kind::kUnexpected, 1,
       "a whole number from 0 to 4294967295", "'4294967296'"},
      {"odd width", "#define P_WIDTH (3)\n", Kind::kUnexpected, 1, "an even width", "'3'"},
      {"other prefix", "#define P_WIDTH (4)\n#define Q_HEIGHT (2)", Kind::kUnexpected, 2,
       "'#define P_HEIGHT (<height>)'", "'Q_HEIGHT'"},
      {"wrong size", "#define P_WIDTH (4)\n#define P_HEIGHT (2)\n#define P_SIZE (9)\n",
       Kind::kUnexpected, 3, "8, the width times the height", "'9'"},
      {"bound against the defines", kHead.substr(0, kHead.size() - 7) + "4*2]={\n",
       Kind::kUnexpected, 10, "2, as the defines give", "'4'"},
      {"unclosed comment", "/* a comment\n that never ends", Kind::kUnexpected, 1,
       "'*/' closing the comment", "the end of the file"},
      {"non-hex word", kHead + "0x4C6A00BF, 0x1DBFFG75, ", Kind::kUnexpected, 11,
       "a word: '0x' and 1 to 8 hexadecimal digits", "'0x1DBFFG75'"},
      {"decimal word", kHead + "12, 0x1DBFFF75, 0xFF80FF80, 0x00800080", Kind::kUnexpected, 11,
       "a word: '0x' and 1 to 8 hexadecimal digits", "'12'"},
      {"nine digits", kHead + "0x04C6A00BF, 0x1DBFFF75, 0xFF80FF80", Kind::kUnexpected, 11,
       "a word: '0x' and 1 to 8 hexadecimal digits", "'0x04C6A00BF'"},
      {"no comma", kHead + "0x4C6A00BF 0x1DBFFF75", Kind::kUnexpected, 11,
       "',' or '}' after a word", "'0x1DBFFF75'"},
      {"truncated", kHead + "0x4C6A00BF, 0x1DBFFF75, \n0xFF80", Kind::kUnexpected, 12,
       "',' or '}' after a word", "the end of the file"},
      {"no semicolon", kHead + words + "}\n", Kind::kUnexpected, 14, "'};'", "the end of the file"},
      {"text after the end", kHead + words + "};\nint x;", Kind::kUnexpected, 14,
       "the end of the file", "'int'"},
      {"a byte past ASCII", kHead + words + "};\n\xE2\x80\xAE", Kind::kUnexpected, 14,
       "the end of the file", "'\\xE2'"},
      // Where the compiler would read other lines than the reader.
      {"a line comment carried on", kHead + "// \\ \n" + words + kTail, Kind::kUnexpected, 11,
       "a line end with no backslash before it", "'\\' (or '?\?/') and the end of the line"},
      {"a comment closed across a splice", "/* *?\?/\n/ #define", Kind::kUnexpected, 1,
       "a line end with no backslash before it", "'\\' (or '?\?/') and the end of the line"},
      {"a define that does not start a line", "#define P_WIDTH (4) #define P_HEIGHT (2)\n",
       Kind::kUnexpected, 1, "the end of the line after the define", "'#'"},
      {"a define over two lines", "#define P_WIDTH\n(4)\n", Kind::kUnexpected, 1,
       "'#define <PREFIX>_WIDTH (<width>)'", "the end of the line"},
      {"a define with parameters", "#define P_WIDTH(4)\n", Kind::kUnexpected, 1,
       "a space between the define's name and '(' (without one the define takes parameters)",
       "'('"},
      {"a carriage return alone", "#define P_WIDTH (4)\r#define", Kind::kUnexpected, 1,
       "a line end: LF or CR LF", "a carriage return alone"},
      {"a form feed in a define", "#define P_WIDTH (4)\f\n", Kind::kUnexpected, 1,
       "spaces or tabs between the parts of a define", "a form feed"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = read_all(c.text);
    EXPECT_FALSE(o.read);
    EXPECT_EQ(o.problem.kind, c.kind);
    EXPECT_EQ(o.problem.line, c.line);
    EXPECT_EQ(o.problem.expected, c.expected);
    EXPECT_EQ(o.problem.found, c.found);
  }
}

// Long rows, as the fast way reads them: each byte of a word spoiled in
// turn is found, wherever in the row the word stands.
TEST(HeaderReader, FindsASpoiledByteAnywhereInLongRows) {
  std::string text =
      "#define P_WIDTH (64)\n#define P_HEIGHT (2)\n#define P_SIZE (128)\n"
      "const u32 p_Bitmap[2*64]={\n";
  std::vector<std::uint32_t> expected;
  std::uint32_t x = 5;
  for (int i = 0; i < 64; ++i) {
    x = x * 1664525u + 1013904223u;
    expected.push_back(x);
    char word[16];
    std::snprintf(word, sizeof word, i % 2 ? "0x%08X, " : "0x%08x, ", x);
    text += word;
    if (i % 8 == 7) text += i == 31 ? "\r\n" : "\n";
  }
  const std::string good = text + "};\n";
  const Outcome o = read_all(good);
  ASSERT_TRUE(o.read);
  EXPECT_EQ(o.words, expected);

  const std::size_t first_word = good.find("{\n") + 2;
  for (const std::size_t word : {0, 13, 26, 39, 50}) {
    const std::size_t at = good.find("0x", first_word + 12 * word + word / 8);
    for (std::size_t k = 0; k < 12; ++k) {
      // A letter out of place, and the byte that differs from the right one
      // in bit 5 alone (',' and form feed, ' ' and NUL, '0' and 0x10), but
      // for 'X' and a digit's other case, which are right too.
      const char twin = static_cast<char>(good[at + k] ^ 0x20);
      const bool twin_right = k == 1 || (k >= 2 && k <= 9 && std::isxdigit(twin));
      for (const char wrong : {k == 11 ? 'g' : 'G', twin}) {
        if (wrong == twin && twin_right) continue;
        std::string spoiled = good;
        spoiled[at + k] = wrong;
        const Outcome bad = read_all(spoiled);
        EXPECT_FALSE(bad.read) << "word " << word << ", byte " << k << ", " << int{wrong};
        // A blank in the comma's place moves the problem to what follows it.
        if (wrong != twin) {
          EXPECT_EQ(bad.problem.line, 5 + word / 8) << "word " << word << ", byte " << k;
        }
      }
    }
  }
}

TEST(HeaderReader, CountsTheWordsOfAnArrayOfAnotherLength) {
  const std::string one_too_few = kHead + "0x4C6A00BF, 0x1DBFFF75, 0xFF80FF80 };";
  const std::string two_too_many = kHead + kWords + "0x1, 0x2 };";
  for (const auto& [text, found] : {std::pair{one_too_few, 3}, std::pair{two_too_many, 6}}) {
    const Outcome o = read_all(text);
    EXPECT_EQ(o.problem.kind, Kind::kWordCount);
    EXPECT_EQ(o.problem.words_found, static_cast<std::uint64_t>(found));
    EXPECT_EQ(o.problem.words_wanted, 4u);
  }
}

// Defines that announce more words than the rest of the file can hold are
// refused before any word is read; a pipe, of unknown size, is read on.
TEST(HeaderReader, RefusesDefinesTheFileCannotHold) {
  const std::string huge =
      "#define P_WIDTH (65536)\n#define P_HEIGHT (65536)\n#define P_SIZE (4294967296)\n"
      "const u32 p_Bitmap[65536*65536]={\n0x0, 0x1, };";
  const Outcome seekable = read_all(huge);
  EXPECT_EQ(seekable.problem.kind, Kind::kTooFewBytes);
  EXPECT_EQ(seekable.problem.line, 4u);
  EXPECT_EQ(seekable.problem.words_wanted, 2147483648u);
  EXPECT_EQ(seekable.problem.bytes_left, 13u);
  const Outcome pipe = read_all(huge, 0, false);
  EXPECT_EQ(pipe.problem.kind, Kind::kWordCount);
  EXPECT_EQ(pipe.problem.words_found, 2u);
}

// A source that makes up a header with a line of 2 GiB of blanks between two
// tokens, or a name that long, without holding it.
struct LongLine {
  std::string head, tail;
  std::uint64_t filler;
  char fill;
  std::uint64_t at = 0;
};

bool read_long_line(void* context, std::uint8_t* buffer, std::size_t size, std::size_t* got) {
  auto* s = static_cast<LongLine*>(context);
  const std::uint64_t head_end = s->head.size(), filler_end = head_end + s->filler;
  std::size_t n = 0;
  if (s->at < head_end) {
    n = static_cast<std::size_t>(std::min<std::uint64_t>(size, head_end - s->at));
    std::memcpy(buffer, s->head.data() + s->at, n);
  } else if (s->at < filler_end) {
    n = static_cast<std::size_t>(std::min<std::uint64_t>(size, filler_end - s->at));
    std::memset(buffer, s->fill, n);
  } else if (s->at - filler_end < s->tail.size()) {
    n = static_cast<std::size_t>(
        std::min<std::uint64_t>(size, s->tail.size() - (s->at - filler_end)));
    std::memcpy(buffer, s->tail.data() + (s->at - filler_end), n);
  }
  s->at += n;
  *got = n;
  return true;
}

TEST(HeaderReader, ReadsALineOfTwoGibibytesInItsBuffer) {
  const std::uint64_t two_gib = std::uint64_t{1} << 31;
  LongLine blanks{"#define P_WIDTH (2)", "\n#define P_HEIGHT (1)\n#define P_SIZE (2)\n x", two_gib,
                  ' '};
  HeaderText header;
  HeaderShape shape;
  HeaderProblem problem;
  kestrin::preview::open_header_text(&header, {read_long_line, nullptr, -1, &blanks});
  EXPECT_FALSE(kestrin::preview::read_header_head(&header, &shape, &problem));
  EXPECT_EQ(problem.line, 4u);
  EXPECT_EQ(problem.expected, "'const u32 <name>_Bitmap[<height>*<width>]={'");
  EXPECT_EQ(problem.found, "'x'");

  LongLine name{"#define P", "_WIDTH (2)", two_gib, 'A'};
  kestrin::preview::open_header_text(&header, {read_long_line, nullptr, -1, &name});
  EXPECT_FALSE(kestrin::preview::read_header_head(&header, &shape, &problem));
  EXPECT_EQ(problem.found, "'PAAAAAAAAAAAAAAAAAAAAAAA...'");
  EXPECT_LT(name.at, std::uint64_t{1} << 20);  // refused without reading the name through
}

}  // namespace
