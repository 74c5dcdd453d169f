// Compiles generated sources with the system's compilers and prints the array
// back, to show that every literal holds exactly its piece of the text.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

const char kPrinter[] =
    "#include <stddef.h>\n"
    "#include <stdio.h>\n"
    "#include \"text.c\"\n"
    "int main(void) {\n"
    "  size_t i;\n"
    "  for (i = 0; text[i] != NULL; ++i) printf(\"%s\\n\", text[i]);\n"
    "  return 0;\n"
    "}\n";

struct Compiler {
  std::string command;  // with the language and its standard
};

std::vector<Compiler> compilers(const TempFolder& folder) {
  std::vector<Compiler> result = {{std::string(C_COMPILER) + " -std=c99"},
                                  {std::string(CXX_COMPILER) + " -x c++ -std=c++17"}};
  if (run_shell("command -v clang && command -v clang++", folder.path).exit_status == 0) {
    result.push_back({"clang -std=c99"});
    result.push_back({"clang++ -x c++ -std=c++17"});
  }
  return result;
}

// Converts `input`, builds the printer with each compiler and checks that it
// prints `expected`.
void expect_round_trip(const std::string& input, const std::string& expected) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", input);
  write_file(folder.path + "/print.c", kPrinter);
  ASSERT_EQ(run_program(LORTANE_PATH, {"text", "in.txt", "text.c"}, folder.path).exit_status, 0);
  for (const Compiler& compiler : compilers(folder)) {
    SCOPED_TRACE(compiler.command);
    ProgramResult build = run_shell(
        compiler.command + " -Wall -Wextra -pedantic -Werror print.c -o print 2>&1", folder.path);
    ASSERT_EQ(build.exit_status, 0) << build.output;
    ProgramResult printed = run_program(folder.path + "/print", {}, folder.path);
    EXPECT_EQ(printed.exit_status, 0);
    EXPECT_EQ(printed.output, expected);
  }
}

TEST(LortaneRoundTrip, OrdinaryTextComesBackExactly) {
  const std::string input =
      "A plain line.\r\n"
      "\r\n"
      "Quotes \"here\" and 'there', backslashes C:\\dir\\ and \\n as text.\r\n"
      "Trigraphs ?\?= ?\?/ ?\?' ?\?( ?\?) ?\?! ?\?< ?\?> ?\?- and ?\?\?\r\n"
      "Tabs\tbetween\twords, 100% %s %d\r\n"
      "UTF-8: caf\xc3\xa9, \xe2\x82\xac, \xf0\x9f\x98\x80, \xd0\x9f\xd1\x80\xd0\xb8\r\n"
      "Last line ends with a trigraph ?\?/\r\n";
  std::string expected;
  for (char c : input) {
    if (c != '\r') expected += c;
  }
  expect_round_trip(input, expected);
}

TEST(LortaneRoundTrip, UnusualBytesCompileWithWarningsAsErrors) {
  std::string ascii, high;
  for (int byte = 1; byte < 0x80; ++byte) {
    if (byte != '\n' && byte != '\r') ascii += static_cast<char>(byte);
  }
  for (int byte = 0x80; byte < 0x100; ++byte) high += static_cast<char>(byte);
  const std::string lines[] = {
      ascii,
      high,
      "lone\rCR and \x1a Ctrl-Z",
      "bidi \xe2\x80\xae reversed \xe2\x81\xa6 isolate",
      "broken \xe2\x82 \xed\xa0\x80 \xf4\x90\x80\x80 \xc0\xaf",
  };
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  // Escapes make this line's literals far longer than 1023 characters; the
  // split still counts text bytes and cuts an UTF-8 sequence in two.
  std::string long_line;
  for (int i = 0; i < 525; ++i) long_line += "\"\"\xc3\xa9";
  input += long_line;

  std::string expected = input.substr(0, input.size() - long_line.size());
  expected += long_line.substr(0, 1023) + "\n" + long_line.substr(1023, 1023) + "\n" +
              long_line.substr(2046) + "\n";
  expect_round_trip(input, expected);
}

// The comment line repeats the input path, which may hold anything a file
// name can: it must stay one line comment that every compiler accepts.
TEST(LortaneRoundTrip, CommentsCompileWhateverThePathHolds) {
  const std::string paths[] = {
      "new\nline.txt", "carriage\rreturn.txt",  "ends in a backslash\\",
      "in?\?/ ",       "bidi \xe2\x80\xae.txt", "escape \x1b and \x7f.txt",
      "two\\\\ ",      "C:\\art\\notes.txt",
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    TempFolder folder;
    const std::size_t slash = path.find('/');
    if (slash != std::string::npos) {
      ASSERT_EQ(mkdir((folder.path + "/" + path.substr(0, slash)).c_str(), 0755), 0);
    }
    write_file(folder.path + "/" + path, "a\n");
    write_file(folder.path + "/print.c", kPrinter);
    ASSERT_EQ(run_program(LORTANE_PATH, {"text", path, "text.c"}, folder.path).exit_status, 0);
    for (const Compiler& compiler : compilers(folder)) {
      SCOPED_TRACE(compiler.command);
      const ProgramResult build = run_shell(
          compiler.command + " -Wall -Wextra -pedantic -Werror -fsyntax-only print.c 2>&1",
          folder.path);
      EXPECT_EQ(build.exit_status, 0) << build.output << read_file(folder.path + "/text.c");
    }
  }
}

}  // namespace
