#include "lortane/array_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/memory_streams.h"

namespace {

using lortane::ArrayResult;

ArrayResult convert(const std::string& text, std::string* out, std::size_t max_read = 0,
                    const char* name = "lines", const char* path = "in.txt") {
  platform::MemoryInput input;
  input.data = reinterpret_cast<const std::uint8_t*>(text.data());
  input.size = text.size();
  input.max_read = max_read;
  return lortane::write_string_array(name, path, platform::memory_source(&input, false),
                                     {platform::append_to_string, out});
}

TEST(StringArray, EmptyTextGivesOnlyTheFrame) {
  std::string out;
  ASSERT_EQ(convert("", &out, 0, "ns::text", "dir/a b.txt"), ArrayResult::kWritten);
  EXPECT_EQ(out,
            "// This file automatically generated from: dir/a b.txt\n"
            "const char * ns::text [] = {\n"
            "NULL\n"
            "};\n");
}

TEST(StringArray, NamesLongerThanTheOutputBlockGoThrough) {
  const std::string name(300 * 1024, 'n');
  const std::string path(600 * 1024, 'p');
  std::string out;
  ASSERT_EQ(convert("a", &out, 0, name.c_str(), path.c_str()), ArrayResult::kWritten);
  EXPECT_EQ(out, "// This file automatically generated from: " + path + "\nconst char * " + name +
                     " [] = {\n\"a\",\nNULL\n};\n");
}

TEST(StringArray, OneElementPerPieceWhateverTheReadSize) {
  const std::string text = "first \"line\"\r\n\n" + std::string(1500, '%') + "\nlast";
  const std::string expected =
      "// This file automatically generated from: in.txt\n"
      "const char * lines [] = {\n"
      "\"first \\\"line\\\"\",\n"
      "\"\",\n"
      "\"" +
      std::string(1023, '%') +
      "\",\n"
      "\"" +
      std::string(477, '%') +
      "\",\n"
      "\"last\",\n"
      "NULL\n"
      "};\n";
  for (std::size_t max_read : {0, 1, 3, 1024}) {
    std::string out;
    ASSERT_EQ(convert(text, &out, max_read), ArrayResult::kWritten);
    EXPECT_EQ(out, expected) << "reads of " << max_read;
  }
}

bool fail_after_a_little(void* context, unsigned char* buffer, std::size_t, std::size_t* got) {
  int* calls = static_cast<int*>(context);
  if (++*calls > 1) return false;
  buffer[0] = 'a';
  buffer[1] = '\n';
  *got = 2;
  return true;
}

TEST(StringArray, AReadFailureStopsTheRun) {
  int calls = 0;
  std::string out;
  EXPECT_EQ(lortane::write_string_array("v", "in", {fail_after_a_little, nullptr, -1, &calls},
                                        {platform::append_to_string, &out}),
            ArrayResult::kReadFailed);
  EXPECT_EQ(calls, 2);
}

struct CountingSink {
  int writes = 0;
  int fail_at = 0;  // the write that fails, counting from 1; 0: none
  std::size_t largest = 0;
  std::size_t total = 0;
};

bool count_write(void* context, const char*, std::size_t size) {
  auto* sink = static_cast<CountingSink*>(context);
  ++sink->writes;
  sink->largest = std::max(sink->largest, size);
  sink->total += size;
  return sink->writes != sink->fail_at;
}

TEST(StringArray, AWriteFailureStopsTheRun) {
  std::string text(3 << 20, 'x');
  for (int fail_at : {1, 2}) {
    platform::MemoryInput input{reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
    CountingSink sink;
    sink.fail_at = fail_at;
    EXPECT_EQ(lortane::write_string_array("v", "in", platform::memory_source(&input, false),
                                          {count_write, &sink}),
              ArrayResult::kWriteFailed);
    EXPECT_EQ(sink.writes, fail_at);
  }
}

TEST(StringArray, OutputLeavesInBoundedBlocks) {
  std::string text(8 << 20, 'x');
  platform::MemoryInput input{reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
  CountingSink sink;
  ASSERT_EQ(lortane::write_string_array("v", "in", platform::memory_source(&input, false),
                                        {count_write, &sink}),
            ArrayResult::kWritten);
  EXPECT_GT(sink.total, text.size());
  EXPECT_GT(sink.writes, 8);
  EXPECT_LE(sink.largest, std::size_t{1} << 20);
}

}  // namespace
