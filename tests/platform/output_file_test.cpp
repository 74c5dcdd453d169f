// The whole-or-nothing output and the same-file check, driven directly.

#include "platform/output_file.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input_file.h"
#include "support/line_ends.h"
#include "support/temp_folder.h"

namespace {

using Names = std::vector<std::string>;

constexpr char kTag[] = ".test-";

bool write_text(platform::OutputFile* output, const std::string& text) {
  const platform::ByteSink sink = platform::output_sink(output);
  return sink.write(sink.context, text.data(), text.size());
}

// Holds `path` open as a live run holds its temporary, so that no other run
// may take it for a leftover.
struct LiveTemporary {
  explicit LiveTemporary(const std::string& path) {
#ifdef _WIN32
    handle = CreateFileW(std::filesystem::u8path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) flock(fd, LOCK_EX);
#endif
  }
  ~LiveTemporary() {
#ifdef _WIN32
    CloseHandle(handle);
#else
    close(fd);
#endif
  }
#ifdef _WIN32
  HANDLE handle;
#else
  int fd;
#endif
};

TEST(OutputFile, AppearsWholeOrNotAtAll) {
  TempFolder folder;
  const std::string target = folder.path + "/out.txt";
  write_file(target, "earlier\n");

  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, nullptr, &output),
            platform::CreateResult::kCreated);
  ASSERT_TRUE(write_text(&output, "discarded\n"));
  EXPECT_EQ(list_folder(folder.path), (Names{".out.txt.test-00", "out.txt"}));
  platform::discard_output(&output);
  EXPECT_EQ(list_folder(folder.path), Names{"out.txt"});
  EXPECT_EQ(read_file(target), "earlier\n");

  ASSERT_EQ(platform::create_output(target, kTag, nullptr, &output),
            platform::CreateResult::kCreated);
  ASSERT_TRUE(write_text(&output, "new\n"));
  ASSERT_TRUE(platform::commit_output(&output));
  EXPECT_EQ(list_folder(folder.path), Names{"out.txt"});
  EXPECT_EQ(read_output_file(target), "new\n");
}

// The tag keeps each program to its own temporaries; a live one is never
// taken for a leftover.
TEST(OutputFile, RemovesItsOwnLeftoversOnly) {
  TempFolder folder;
  const std::string target = folder.path + "/out.txt";
  write_file(folder.path + "/.out.txt.test-00", "left by a killed run");
  write_file(folder.path + "/.out.txt.other-00", "another program's");
  write_file(folder.path + "/.out.txt.test-02", "left by a killed run");
  LiveTemporary live(folder.path + "/.out.txt.test-01");

  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, nullptr, &output),
            platform::CreateResult::kCreated);
  EXPECT_EQ(list_folder(folder.path),
            (Names{".out.txt.other-00", ".out.txt.test-00", ".out.txt.test-01"}));
  EXPECT_EQ(read_file(folder.path + "/.out.txt.test-00"), "");  // its own, new
  ASSERT_TRUE(platform::commit_output(&output));
  EXPECT_EQ(list_folder(folder.path), (Names{".out.txt.other-00", ".out.txt.test-01", "out.txt"}));
}

// The input is neither replaced nor removed, under any of its names.
TEST(SameFile, EverySpellingOfTheInputIsRecognised) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "text\n");
  ASSERT_TRUE(make_folder(folder.path + "/sub"));
  ASSERT_TRUE(make_hard_link(folder.path + "/in.txt", folder.path + "/link.txt"));
  ASSERT_TRUE(make_hard_link(folder.path + "/in.txt", folder.path + "/.out.txt.test-00"));
  platform::InputFile input;
  ASSERT_TRUE(platform::open_input((folder.path + "/in.txt").c_str(), &input));
  platform::OutputFile output;
  for (const char* same : {"/in.txt", "/./in.txt", "/sub/../in.txt", "/link.txt"}) {
    EXPECT_EQ(platform::create_output(folder.path + same, kTag, &input, &output),
              platform::CreateResult::kIsInput)
        << same;
  }
  // A name of the input among the slots is skipped, not removed.
  ASSERT_EQ(platform::create_output(folder.path + "/out.txt", kTag, &input, &output),
            platform::CreateResult::kCreated);
  ASSERT_TRUE(platform::commit_output(&output));
  platform::close_input(&input);
  EXPECT_EQ(list_folder(folder.path),
            (Names{".out.txt.test-00", "in.txt", "link.txt", "out.txt", "sub"}));
  EXPECT_EQ(read_file(folder.path + "/.out.txt.test-00"), "text\n");
}

}  // namespace
