// Compiles real generated headers with the system's C and C++ compilers at
// their strictest and checks the values the compiled program sees.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "kestrin/pixel_pair.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using kestrin::encode_pixel_pair;

const char kStrictC[] = " -std=c99 -Wall -Wextra -pedantic -Werror ";
const char kStrictCxx[] = " -std=c++17 -Wall -Wextra -pedantic -Werror ";

// Prints the defines, the declared bound and every element of the array.
std::string probe_source(const std::string& header, const std::string& defines,
                         const std::string& array) {
  return "#include <stdint.h>\n#include <stdio.h>\ntypedef uint32_t u32;\n#include \"" + header +
         "\"\nint main(void) {\n  size_t i, n = sizeof " + array + " / sizeof " + array +
         "[0];\n  printf(\"%d %d %d %u\\n\", " + defines + "_WIDTH, " + defines + "_HEIGHT, " +
         defines +
         "_SIZE, (unsigned)n);\n  for (i = 0; i < n; ++i) printf(\"%08X\\n\", "
         "(unsigned)" +
         array + "[i]);\n  return 0;\n}\n";
}

// What the compiled probe must print: pairs top row first, then the zeros
// that fill the declared bound (twice the number of words).
std::string expected_probe_output(int width, const std::vector<std::vector<Rgb> >& rows) {
  const int height = static_cast<int>(rows.size());
  std::string text = std::to_string(width) + " " + std::to_string(height) + " " +
                     std::to_string(width * height) + " " + std::to_string(width * height) + "\n";
  char word[16];
  for (int r = height - 1; r >= 0; --r) {
    for (int i = 0; i < width; i += 2) {
      const Rgb& a = rows[r][i];
      const Rgb& b = rows[r][i + 1];
      std::snprintf(word, sizeof word, "%08X\n",
                    encode_pixel_pair(a.red, a.green, a.blue, b.red, b.green, b.blue));
      text += word;
    }
  }
  for (int i = 0; i < width * height / 2; ++i) text += "00000000\n";
  return text;
}

void compile_and_check(const TempFolder& folder, const std::string& probe,
                       const std::string& expected) {
  write_file(folder.path + "/probe.c", probe);
  write_file(folder.path + "/probe.cpp", probe);
  const ProgramResult c =
      run_shell(std::string(C_COMPILER) + kStrictC + "probe.c -o probe_c 2>&1", folder.path);
  ASSERT_EQ(c.exit_status, 0) << c.output;
  EXPECT_EQ(c.output, "");
  const ProgramResult cxx = run_shell(
      std::string(CXX_COMPILER) + kStrictCxx + "probe.cpp -o probe_cxx 2>&1", folder.path);
  ASSERT_EQ(cxx.exit_status, 0) << cxx.output;
  EXPECT_EQ(cxx.output, "");
  EXPECT_EQ(run_program(folder.path + "/probe_c", {}, folder.path).output, expected);
  EXPECT_EQ(run_program(folder.path + "/probe_cxx", {}, folder.path).output, expected);
}

TEST(GeneratedHeader, CompilesAndHoldsThePairWords) {
  TempFolder folder;
  const auto rows = noise_rows(18, 3, 7);  // 9 words a row: lines of 8 and 1
  write_file(folder.path + "/pic.bmp", bmp_bytes(18, 3, rows));
  ASSERT_EQ(run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path).exit_status, 0);
  compile_and_check(folder, probe_source("pic.bmp.h", "PIC", "pic_Bitmap"),
                    expected_probe_output(18, rows));
}

TEST(GeneratedHeader, UnusualFileNamesStillCompile) {
  TempFolder folder;
  const auto rows = noise_rows(4, 2, 3);
  mkdir((folder.path + "/a*").c_str(), 0755);
  write_file(folder.path + "/a*/9 lives*.v2.bmp", bmp_bytes(4, 2, rows));
  ASSERT_EQ(run_program(KESTRIN_PATH, {"a*/9 lives*.v2.bmp"}, folder.path).exit_status, 0);
  // A path with "/*" cannot stand in an #include, so the header is copied.
  write_file(folder.path + "/named.h", read_file(folder.path + "/a*/9 lives*.v2.bmp.h"));
  compile_and_check(folder, probe_source("named.h", "_9_LIVES__V2", "_9_lives__Bitmap"),
                    expected_probe_output(4, rows));
}

// The comment repeats the input path, which may hold anything a file name
// can: folders that end in a backslash or in "??" and one that starts with a
// line end, control bytes, an unpaired bidirectional control, "??/" at the
// end. Every compiler must take the header without a warning.
TEST(GeneratedHeader, CommentsCompileWhateverThePathHolds) {
  const std::string paths[] = {
      "bs*\\/\n/pic.bmp",         "tg*?\?/\n/pic.bmp",   "cr\r/pic.bmp",
      "bidi\xe2\x80\xae/pic.bmp", "esc\x1b\x7f/pic.bmp", "end?\?/ ",
  };
  std::vector<std::string> compilers = {std::string(C_COMPILER) + kStrictC,
                                        std::string(CXX_COMPILER) + " -x c++" + kStrictCxx};
  TempFolder probe;
  if (run_shell("command -v clang && command -v clang++", probe.path).exit_status == 0) {
    compilers.push_back(std::string("clang") + kStrictC);
    compilers.push_back(std::string("clang++ -x c++") + kStrictCxx);
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    TempFolder folder;
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      ASSERT_EQ(mkdir((folder.path + "/" + path.substr(0, slash)).c_str(), 0755), 0);
    }
    write_file(folder.path + "/" + path, bmp_bytes(4, 2, noise_rows(4, 2)));
    ASSERT_EQ(run_program(KESTRIN_PATH, {path}, folder.path).exit_status, 0);
    // Such a path cannot stand in an #include, so the header is copied.
    write_file(folder.path + "/named.h", read_file(folder.path + "/" + path + ".h"));
    write_file(folder.path + "/probe.c",
               "#include <stdint.h>\ntypedef uint32_t u32;\n#include \"named.h\"\n");
    for (const std::string& compiler : compilers) {
      SCOPED_TRACE(compiler);
      const ProgramResult build = run_shell(compiler + "-fsyntax-only probe.c 2>&1", folder.path);
      EXPECT_EQ(build.exit_status, 0) << build.output << read_file(folder.path + "/named.h");
      EXPECT_EQ(build.output, "");
    }
  }
}

}  // namespace
