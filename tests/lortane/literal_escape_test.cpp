#include "lortane/literal_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string escape(const std::string& text) {
  std::string out(text.size() * lortane::kMaxEscapedPerByte, '\0');
  std::size_t length = lortane::escape_literal(reinterpret_cast<const unsigned char*>(text.data()),
                                               text.size(), &out[0]);
  out.resize(length);
  return out;
}

TEST(LiteralEscape, OrdinaryTextStaysAsItIs) {
  EXPECT_EQ(escape(""), "");
  EXPECT_EQ(escape("Hello, world! 100% %s %d\ttab 'single' {}[]#~"),
            "Hello, world! 100% %s %d\ttab 'single' {}[]#~");
}

TEST(LiteralEscape, QuotesAndBackslashes) {
  EXPECT_EQ(escape("say \"hi\""), "say \\\"hi\\\"");
  EXPECT_EQ(escape("C:\\dir\\"), "C:\\\\dir\\\\");
  EXPECT_EQ(escape("\\\""), "\\\\\\\"");
}

TEST(LiteralEscape, NoTrigraphCanForm) {
  EXPECT_EQ(escape("?\?="), "?\\?=");
  EXPECT_EQ(escape("what?\?/"), "what?\\?/");
  EXPECT_EQ(escape("?\?\?"), "?\\?\\?");
  EXPECT_EQ(escape("?a?"), "?a?");
  EXPECT_EQ(escape("?"), "?");
}

TEST(LiteralEscape, ControlBytesBecomeThreeDigitOctal) {
  EXPECT_EQ(escape(std::string("a\0b", 3)), "a\\000b");
  EXPECT_EQ(escape("\x01"
                   "7"),
            "\\0017");  // a following digit cannot join the escape
  EXPECT_EQ(escape("\x1b[0m"), "\\033[0m");
  EXPECT_EQ(escape("\r\x1a\x1f\x7f"), "\\015\\032\\037\\177");
  EXPECT_EQ(escape("\n"), "\\012");
}

TEST(LiteralEscape, WellFormedUtf8StaysAsItIs) {
  const std::string text =
      "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\x80 \xed\x9f\xbf \xee\x80\x80 "
      "\xf4\x8f\xbf\xbf \xef\xbf\xbe \xe2\x80\x8f";
  EXPECT_EQ(escape(text), text);
}

TEST(LiteralEscape, BytesOutsideWellFormedUtf8BecomeOctal) {
  EXPECT_EQ(escape("\x80"), "\\200");                             // lone continuation
  EXPECT_EQ(escape("\xc0\xaf"), "\\300\\257");                    // overlong '/'
  EXPECT_EQ(escape("\xc1\xbf"), "\\301\\277");                    // overlong
  EXPECT_EQ(escape("\xe0\x80\xaf"), "\\340\\200\\257");           // overlong
  EXPECT_EQ(escape("\xf0\x8f\xbf\xbf"), "\\360\\217\\277\\277");  // overlong
  EXPECT_EQ(escape("\xed\xa0\x80"), "\\355\\240\\200");           // surrogate D800
  EXPECT_EQ(escape("\xed\xbf\xbf"), "\\355\\277\\277");           // surrogate DFFF
  EXPECT_EQ(escape("\xf4\x90\x80\x80"), "\\364\\220\\200\\200");  // above 10FFFF
  EXPECT_EQ(escape("\xf5\xff\xfe"), "\\365\\377\\376");
  EXPECT_EQ(escape("\xe2\x82"), "\\342\\202");  // cut short by the end of the piece
  EXPECT_EQ(escape("\xe2\x82"
                   "A"),
            "\\342\\202A");                            // cut short by an ASCII byte
  EXPECT_EQ(escape("\xc3\xc3\xa9"), "\\303\xc3\xa9");  // a bad lead before a good sequence
}

TEST(LiteralEscape, BidirectionalControlsAreEscaped) {
  EXPECT_EQ(escape("a\xe2\x80\xae"
                   "b"),
            "a\\342\\200\\256b");                        // U+202E
  EXPECT_EQ(escape("\xe2\x80\xaa"), "\\342\\200\\252");  // U+202A
  EXPECT_EQ(escape("\xe2\x81\xa6\xe2\x81\xa9"), "\\342\\201\\246\\342\\201\\251");
  EXPECT_EQ(escape("\xe2\x80\xa9\xe2\x81\xaa"), "\xe2\x80\xa9\xe2\x81\xaa");  // neighbours kept
}

TEST(LiteralEscape, EveryByteFitsTheWorstCase) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  std::string out = escape(all);
  EXPECT_LE(out.size(), all.size() * lortane::kMaxEscapedPerByte);
  EXPECT_EQ(out.find('\n'), std::string::npos);
  EXPECT_EQ(out.find('\r'), std::string::npos);
}

TEST(CommentPath, EscapesWhatWouldBreakTheLineComment) {
  using lortane::comment_safe_path;
  EXPECT_EQ(comment_safe_path("a\nb\rc\x01\td"), "a\\nb\\rc\\001\td");
  EXPECT_EQ(comment_safe_path("r\xe2\x80\xaa.txt"), "r\\u202A.txt");
  EXPECT_EQ(comment_safe_path("dir\\"), "dir\\|");
  EXPECT_EQ(comment_safe_path("dir\\\\  "), "dir\\\\  |");
  EXPECT_EQ(comment_safe_path("in?\?/\t"), "in?\?/\t|");
  EXPECT_EQ(comment_safe_path("C:\\dir\\notes.txt"), "C:\\dir\\notes.txt");
  EXPECT_EQ(comment_safe_path("a?\?/b"), "a?\?/b");
}

}  // namespace
