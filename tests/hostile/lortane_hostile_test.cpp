// Lortane on texts that are not text, lines longer than any buffer and bytes
// that sit on the piece and line-end boundaries: every byte arrives in the
// literals, in pieces of at most 1023, and memory stays flat.

#include <gtest/gtest.h>

#include <string>

#include "hostile_support.h"
#include "support/line_ends.h"

namespace {

std::string repeat(const std::string& text, std::size_t count) {
  std::string result;
  result.reserve(text.size() * count);
  for (std::size_t i = 0; i < count; ++i) result += text;
  return result;
}

std::string source(const Names& literals) {
  std::string text = "// This file automatically generated from: in.txt\nconst char * v [] = {\n";
  for (const std::string& literal : literals) text += "\"" + literal + "\",\n";
  return text + "NULL\n};\n";
}

const std::string kProgress = kLortaneBanner +
                              "Opening Input File: in.txt\nOpening Output File: out.c\n"
                              "Using variable name: v\n";

struct TextCase {
  const char* what;
  std::string input;
  Names literals;
};

template <std::size_t N>
std::string bytes_of(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

TEST(LortaneHostile, EveryByteArrivesInPiecesOfAtMost1023) {
  const std::string mib(1 << 20, 'm');
  Names mib_pieces(1025, std::string(1023, 'm'));
  mib_pieces.push_back("m");  // 1025 * 1023 + 1 = 2^20
  const std::string x1022(1022, 'x'), x1023(1023, 'x');
  const TextCase cases[] = {
      {"1 MiB line without a line end", mib, mib_pieces},
      {"1023 x 0x01 and a line end", std::string(1023, '\x01') + "\n", {repeat("\\001", 1023), ""}},
      {"1023 x 0x01 without a line end", std::string(1023, '\x01'), {repeat("\\001", 1023)}},
      {"CR CR LF", "a\r\r\nb\n", {"a\\015", "b"}},
      {"a CR that makes the 1023rd byte", x1022 + "\r\r\n", {x1022 + "\\015", ""}},
      {"a CR just past 1023 bytes at the end", x1023 + "\r", {x1023, "\\015"}},
      {"CR LF right after 1023 bytes", x1023 + "\r\n" + "z", {x1023, "", "z"}},
      {"NUL only", bytes_of("\0\0\n\0"), {"\\000\\000", "\\000"}},
      {"UTF-16LE with its byte-order mark",
       bytes_of("\xff\xfeh\0i\0\r\0\n\0"),
       {"\\377\\376h\\000i\\000\\015\\000", "\\000"}},
      {"UTF-16BE with its byte-order mark",
       bytes_of("\xfe\xff\0h\0i\0\n"),
       {"\\376\\377\\000h\\000i\\000"}},
      {"UTF-8 byte-order mark kept", "\xef\xbb\xbfhi\n", {"\xef\xbb\xbfhi"}},
      {"direction override escaped",
       "a\xe2\x80\xae"
       "b\n",
       {"a\\342\\200\\256b"}},
      {"lead bytes without their continuation",
       "\xc3\n\xe2\x82\n\xf0\x9f\x98",
       {"\\303", "\\342\\202", "\\360\\237\\230"}},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    write_file(folder.path + "/in.txt", c.input);
    const ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output, kProgress);
    EXPECT_EQ(read_output_file(folder.path + "/out.c"), source(c.literals));
    EXPECT_EQ(read_file(folder.path + "/in.txt"), c.input);
    EXPECT_EQ(list_folder(folder.path), Names({"in.txt", "out.c"}));
  }
}

// A 64 MiB line converts within 40 MiB of address space and a few seconds of
// CPU: the text streams through fixed buffers and the work is linear. (The
// sanitizers need terabytes of address space, so they run it unlimited, and
// Windows has no ulimit: there it shows the output only.)
TEST(LortaneHostile, OneHugeLineStreamsInFlatMemory) {
  TempFolder folder;
  const std::size_t size = std::size_t{64} << 20;
  write_file(folder.path + "/in.txt", std::string(size, 'q'));
#ifdef _WIN32
  const ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
#else
#ifdef KL_SANITIZE
  const std::string limits = "";
#else
  const std::string limits = "ulimit -v 40960 && ulimit -t 5";
#endif
  const ProgramResult run = with_shell(limits, LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
#endif
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, kProgress);
  const std::string out = read_output_file(folder.path + "/out.c");
  const std::size_t pieces = size / 1023 + 1;  // 65600 full pieces and 64 bytes
  const std::string element = "\"" + std::string(1023, 'q') + "\",\n";
  const std::string head = source({}).substr(0, source({}).find("NULL"));
  ASSERT_EQ(out.size(), head.size() + (pieces - 1) * element.size() + (size % 1023) + 4 + 8);
  EXPECT_EQ(out.compare(0, head.size(), head), 0);
  EXPECT_EQ(out.compare(head.size(), element.size(), element), 0);
  EXPECT_EQ(out.substr(out.size() - 80),
            "q\",\n\"" + std::string(size % 1023, 'q') + "\",\nNULL\n};\n");
  EXPECT_EQ(list_folder(folder.path), Names({"in.txt", "out.c"}));
}

}  // namespace
