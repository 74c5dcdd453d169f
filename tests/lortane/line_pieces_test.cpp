#include "lortane/line_pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using lortane::finish_split;
using lortane::LineSplitter;
using lortane::split_block;
using lortane::start_split;

bool collect(void* context, const unsigned char* text, std::size_t length) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(reinterpret_cast<const char*>(text),
                                                                length);
  return true;
}

// Splits `input` handed over in blocks of `block_size` bytes.
std::vector<std::string> split(const std::string& input, std::size_t block_size) {
  std::vector<std::string> pieces;
  LineSplitter splitter;
  start_split(&splitter, collect, &pieces);
  const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
  for (std::size_t at = 0; at < input.size(); at += block_size) {
    std::size_t size = std::min(block_size, input.size() - at);
    EXPECT_TRUE(split_block(&splitter, bytes + at, size));
  }
  EXPECT_TRUE(finish_split(&splitter));
  return pieces;
}

// The same pieces whatever the block boundaries: whole, byte by byte, and in
// blocks that cut pieces and CR LF pairs at varying places.
std::vector<std::string> split_every_way(const std::string& input) {
  std::vector<std::string> whole = split(input, input.size() + 1);
  for (std::size_t block_size : {1, 2, 1000, 1023, 1024}) {
    EXPECT_EQ(split(input, block_size), whole) << "block size " << block_size;
  }
  return whole;
}

// Text whose bytes differ from their neighbours, so a piece cut in the wrong place shows.
std::string letters(std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

std::vector<std::size_t> lengths(const std::vector<std::string>& pieces) {
  std::vector<std::size_t> result;
  for (const std::string& piece : pieces) result.push_back(piece.size());
  return result;
}

struct SplitCase {
  std::size_t line_length;
  std::vector<std::size_t> with_line_end;
  std::vector<std::size_t> without_line_end;
};

TEST(LinePieces, LongLinesAreCutAt1023Bytes) {
  const SplitCase cases[] = {
      {1022, {1022}, {1022}},
      {1023, {1023, 0}, {1023}},
      {1024, {1023, 1}, {1023, 1}},
      {2046, {1023, 1023, 0}, {1023, 1023}},
      {2047, {1023, 1023, 1}, {1023, 1023, 1}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.line_length);
    std::string line = letters(c.line_length);
    for (const char* line_end : {"\n", "\r\n"}) {
      std::vector<std::string> pieces = split_every_way(line + line_end + "next\n");
      ASSERT_EQ(pieces.size(), c.with_line_end.size() + 1);
      EXPECT_EQ(pieces.back(), "next");
      pieces.pop_back();
      EXPECT_EQ(lengths(pieces), c.with_line_end);
      std::string joined;
      for (const std::string& piece : pieces) joined += piece;
      EXPECT_EQ(joined, line);
    }
    std::vector<std::string> pieces = split_every_way(line);
    EXPECT_EQ(lengths(pieces), c.without_line_end);
    std::string joined;
    for (const std::string& piece : pieces) joined += piece;
    EXPECT_EQ(joined, line);
  }
}

TEST(LinePieces, EmptyLinesAndTheLastLine) {
  EXPECT_TRUE(split_every_way("").empty());
  EXPECT_EQ(split_every_way("\n"), std::vector<std::string>({""}));
  EXPECT_EQ(split_every_way("a\n\nb"), std::vector<std::string>({"a", "", "b"}));
  EXPECT_EQ(split_every_way("a\n\nb\n"), std::vector<std::string>({"a", "", "b"}));
  EXPECT_EQ(split_every_way("\r\n\r\n"), std::vector<std::string>({"", ""}));
}

TEST(LinePieces, OnlyACarriageReturnBeforeALineFeedEndsALine) {
  EXPECT_EQ(split_every_way("a\rb\r\nc"), std::vector<std::string>({"a\rb", "c"}));
  EXPECT_EQ(split_every_way("a\r\r\n"), std::vector<std::string>({"a\r"}));
  EXPECT_EQ(split_every_way("a\n\r"), std::vector<std::string>({"a", "\r"}));
  EXPECT_EQ(split_every_way("\r"), std::vector<std::string>({"\r"}));
  EXPECT_EQ(split_every_way("a\x1a"
                            "b\n"),
            std::vector<std::string>({"a\x1a"
                                      "b"}));
}

TEST(LinePieces, ALoneCarriageReturnCountsTowardsThePieceLength) {
  std::string text = letters(1022);
  EXPECT_EQ(split_every_way(text + "\r\n"), std::vector<std::string>({text}));
  EXPECT_EQ(split_every_way(text + "\ry\n"), std::vector<std::string>({text + "\r", "y"}));
  std::string full = letters(1023);
  EXPECT_EQ(split_every_way(full + "\r\n"), std::vector<std::string>({full, ""}));
  EXPECT_EQ(split_every_way(full + "\r"), std::vector<std::string>({full, "\r"}));
}

TEST(LinePieces, AMegabyteLineWithoutLineEnd) {
  std::vector<std::string> pieces = split_every_way(std::string(1 << 20, 'x'));
  ASSERT_EQ(pieces.size(), 1026u);
  EXPECT_EQ(pieces.front().size(), 1023u);
  EXPECT_EQ(pieces.back().size(), (1u << 20) - 1025 * 1023);
}

bool stop_after_first(void* context, const unsigned char*, std::size_t) {
  ++*static_cast<int*>(context);
  return false;
}

TEST(LinePieces, AFailingHandlerStopsTheSplit) {
  int calls = 0;
  LineSplitter splitter;
  start_split(&splitter, stop_after_first, &calls);
  const unsigned char text[] = "a\nb\nc\n";
  EXPECT_FALSE(split_block(&splitter, text, sizeof text - 1));
  EXPECT_EQ(calls, 1);
}

}  // namespace
