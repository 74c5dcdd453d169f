// Identifiers, output paths and comment paths from input paths.

#include "kestrin/header_names.h"

#include <gtest/gtest.h>

namespace {

using kestrin::array_prefix;
using kestrin::comment_safe_path;
using kestrin::define_prefix;
using kestrin::output_path_for;

struct NameCase {
  const char* path;
  const char* define_prefix;
  const char* array_prefix;
};

TEST(HeaderNames, PrefixesAreIdentifiersFromTheFileName) {
  const NameCase cases[] = {
      {"pic.bmp", "PIC", "pic"},
      {"my.pic.bmp", "MY_PIC", "my"},
      {"art/logo.bmp", "LOGO", "logo"},
      {"art\\logo.bmp", "LOGO", "logo"},
      {"..\\pic.bmp", "PIC", "pic"},
      {"./pic.bmp", "PIC", "pic"},
      {"c:pic.bmp", "PIC", "pic"},
      {"my-pic.bmp", "MY_PIC", "my_pic"},
      {"1up.bmp", "_1UP", "_1up"},
      {".hidden.bmp", "_HIDDEN", ""},
      {"noext", "NOEXT", "noext"},
      {"Mixed Case.v2.bmp", "MIXED_CASE_V2", "Mixed_Case"},
      {"caf\xc3\xa9.bmp", "CAF__", "caf__"},
      {"dir.d/pic", "PIC", "pic"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(define_prefix(c.path), c.define_prefix) << c.path;
    EXPECT_EQ(array_prefix(c.path), c.array_prefix) << c.path;
  }
}

TEST(HeaderNames, OutputPathIsTheInputAsTyped) {
  EXPECT_EQ(output_path_for("pic.bmp"), "pic.bmp.h");
  EXPECT_EQ(output_path_for("art\\logo.bmp"), "art\\logo.bmp.h");
  EXPECT_EQ(output_path_for("../x"), "../x.h");
}

TEST(HeaderNames, CommentPathCannotCloseOrOpenAComment) {
  EXPECT_EQ(comment_safe_path("a*/b"), "a* /b");
  EXPECT_EQ(comment_safe_path("a/*b"), "a/ *b");
  EXPECT_EQ(comment_safe_path("*/*/"), "* / * /");
  EXPECT_EQ(comment_safe_path("/art/pic.bmp"), "/art/pic.bmp");
  EXPECT_EQ(comment_safe_path("**"), "**");
}

TEST(HeaderNames, CommentPathEscapesWhatWouldBreakTheComment) {
  EXPECT_EQ(comment_safe_path("bs*\\\n/x"), "bs*\\\\n/x");
  EXPECT_EQ(comment_safe_path("a\rb\x1b\x7f\tc"), "a\\rb\\033\\177\tc");
  EXPECT_EQ(comment_safe_path("r\xe2\x80\xae\xe2\x81\xa9\xe2\x80\xa9"),
            "r\\u202E\\u2069\xe2\x80\xa9");
  EXPECT_EQ(comment_safe_path("end?\?/"), "end?\?/|");
  EXPECT_EQ(comment_safe_path("end?\?/ \t"), "end?\?/ \t|");
  // Windows paths and a backslash at the end, harmless in a block comment, stay.
  EXPECT_EQ(comment_safe_path("C:\\art\\logo.bmp"), "C:\\art\\logo.bmp");
  EXPECT_EQ(comment_safe_path("odd\\"), "odd\\");
}

}  // namespace
