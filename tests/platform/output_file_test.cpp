// The whole-or-nothing output and the same-file check, driven directly.

#include "platform/output_file.h"

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <aclapi.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "support/line_ends.h"
#include "support/run_program.h"
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
  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
  ASSERT_TRUE(write_text(&output, "discarded\n"));
  EXPECT_EQ(list_folder(folder.path), (Names{".out.txt.test-00", "out.txt"}));
  platform::discard_output(&output);
  EXPECT_EQ(list_folder(folder.path), Names{"out.txt"});
  EXPECT_EQ(read_file(target), "earlier\n");

  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
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
  write_file(folder.path + "/.out.txt.test-07", "left past a gap");
  LiveTemporary live(folder.path + "/.out.txt.test-01");

  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
  EXPECT_EQ(list_folder(folder.path),
            (Names{".out.txt.other-00", ".out.txt.test-00", ".out.txt.test-01"}));
  EXPECT_EQ(read_file(folder.path + "/.out.txt.test-00"), "");  // its own, new
  ASSERT_TRUE(platform::commit_output(&output));
  EXPECT_EQ(list_folder(folder.path), (Names{".out.txt.other-00", ".out.txt.test-01", "out.txt"}));
}

// A target may be named as one of its own temporaries: that name is never
// taken for a leftover, nor used for the temporary.
TEST(OutputFile, ATargetNamedAsItsOwnSlotIsKept) {
  TempFolder folder;
  const std::string name = std::string(236, '.') + ".test-00";
  const std::string target = folder.path + "/" + name;
  write_file(target, "earlier\n");
  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
  EXPECT_EQ(read_file(target), "earlier\n");
  EXPECT_EQ(list_folder(folder.path).size(), 2u);
  platform::discard_output(&output);
  EXPECT_EQ(list_folder(folder.path), Names{name});
  EXPECT_EQ(read_file(target), "earlier\n");
}

// Names that live runs, or another user, hold in every slot block no run: it
// takes a random name, and clears the leftovers of earlier such runs.
TEST(OutputFile, ARandomNameServesWhenEverySlotIsTaken) {
  TempFolder folder;
  std::vector<std::unique_ptr<LiveTemporary>> live;
  for (const char* slot : {"00", "01", "02", "03", "04", "05", "06", "07"}) {
    live.push_back(std::make_unique<LiveTemporary>(folder.path + "/.out.txt.test-" + slot));
  }
  write_file(folder.path + "/.out.txt.test-x0123456789ab", "left by a killed run");
  write_file(folder.path + "/.out.txt.test-notes", "not a temporary's name");
  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(folder.path + "/out.txt", kTag, {}, &output),
            platform::CreateResult::kCreated);
  // The leftover is gone; the new temporary has a name of its form.
  const Names during = list_folder(folder.path);
  ASSERT_EQ(during.size(), 10u);
  EXPECT_EQ(during[9].size(), std::string(".out.txt.test-x0123456789ab").size());
  EXPECT_EQ(during[9].compare(0, 15, ".out.txt.test-x"), 0);
  EXPECT_NE(during[9], ".out.txt.test-x0123456789ab");
  EXPECT_EQ(during[8], ".out.txt.test-notes");
  ASSERT_TRUE(write_text(&output, "new\n"));
  ASSERT_TRUE(platform::commit_output(&output));
  EXPECT_EQ(read_output_file(folder.path + "/out.txt"), "new\n");
  EXPECT_EQ(list_folder(folder.path).size(), 10u);  // the eight, the notes and the target
}

#ifdef _WIN32
// The new file keeps the access list that was set on the target.
TEST(OutputFile, KeepsTheTargetsAccessList) {
  TempFolder folder;
  const std::string target = folder.path + "/out.txt";
  write_file(target, "earlier\n");
  std::wstring path = std::filesystem::u8path(target).wstring();
  // Everyone may read it, and nothing comes from the folder.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(
      AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = FILE_GENERIC_READ;
  access.grfAccessMode = SET_ACCESS;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &access, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));

  PACL set = nullptr;
  PSECURITY_DESCRIPTOR set_descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &set, nullptr, &set_descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const bool stored = set != nullptr && set->AceCount == 1;
  LocalFree(set_descriptor);
  if (!stored) GTEST_SKIP() << "this system keeps no access list set on a file (Wine)";

  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
  ASSERT_TRUE(platform::commit_output(&output));
  PACL kept = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &kept, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(kept, nullptr);
  ASSERT_EQ(kept->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(kept, 0, &ace));
  const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone));
  LocalFree(descriptor);
  LocalFree(acl);
  FreeSid(everyone);
}
#else
// The temporary stays open to its owner until the rename, so that a run may
// clear it should this one be killed, whatever the target's mode.
TEST(OutputFile, TakesTheTargetsModeAsItIsCommitted) {
  TempFolder folder;
  const std::string target = folder.path + "/out.txt";
  write_file(target, "earlier\n");
  ASSERT_EQ(chmod(target.c_str(), 0200), 0);
  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
  struct stat status;
  ASSERT_EQ(stat((folder.path + "/.out.txt.test-00").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_TRUE(platform::commit_output(&output));
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0200u);
}

// An extended attribute of `path` as bytes; empty where it has none.
std::string attribute(const std::string& path, const char* name) {
  std::string value(65536, '\0');
  const ssize_t size = getxattr(path.c_str(), name, &value[0], value.size());
  return value.substr(0, size < 0 ? 0 : static_cast<std::size_t>(size));
}

mode_t mode_of(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

constexpr char kAccessList[] = "system.posix_acl_access";

// A replaced file keeps its access list whole, its mask included (which the
// group bits show), and its user.* attributes: nobody gains or loses a right.
TEST(OutputFile, KeepsTheTargetsAccessListAndAttributes) {
  TempFolder folder;
  const std::string target = folder.path + "/t.c";
  write_file(target, "earlier\n");
  chmod(target.c_str(), 0640);
  if (run_shell("setfacl -m u:1005:rw t.c", folder.path).exit_status != 0 ||
      setxattr(target.c_str(), "user.note", "kept", 4, 0) != 0) {
    GTEST_SKIP() << "no setfacl, or no access lists or user attributes on this file system";
  }
  const std::string list = attribute(target, kAccessList);
  ASSERT_FALSE(list.empty());
  ASSERT_EQ(mode_of(target), 0660u);  // the mask
  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(target, kTag, {}, &output), platform::CreateResult::kCreated);
  EXPECT_EQ(mode_of(folder.path + "/.t.c.test-00"), 0600u);
  ASSERT_TRUE(write_text(&output, "new\n"));
  ASSERT_TRUE(platform::commit_output(&output));
  EXPECT_EQ(read_file(target), "new\n");
  EXPECT_EQ(attribute(target, kAccessList), list);
  EXPECT_EQ(mode_of(target), 0660u);
  EXPECT_EQ(attribute(target, "user.note"), "kept");
}

// A new file gets what open(O_CREAT, 0666) gives one in its folder: the
// folder's default access list over the umask; and a replaced file that had
// no access list gets none from the folder.
TEST(OutputFile, ANewFileTakesItsFoldersDefaultAccessList) {
  TempFolder folder;
  const std::string shared = folder.path + "/shared";
  ASSERT_TRUE(make_folder(shared));
  write_file(shared + "/plain.c", "earlier\n");
  chmod((shared + "/plain.c").c_str(), 0644);
  if (run_shell("setfacl -d -m u::rw,g::r,o::-,u:1005:rw shared", folder.path).exit_status != 0) {
    GTEST_SKIP() << "no setfacl, or no access lists on this file system";
  }
  const mode_t mask = umask(022);
  close(open((shared + "/touched").c_str(), O_WRONLY | O_CREAT, 0666));
  platform::OutputFile output;
  ASSERT_EQ(platform::create_output(shared + "/new.c", kTag, {}, &output),
            platform::CreateResult::kCreated);
  ASSERT_TRUE(platform::commit_output(&output));
  ASSERT_EQ(platform::create_output(shared + "/plain.c", kTag, {}, &output),
            platform::CreateResult::kCreated);
  ASSERT_TRUE(platform::commit_output(&output));
  umask(mask);
  EXPECT_EQ(mode_of(shared + "/new.c"), mode_of(shared + "/touched"));
  EXPECT_EQ(mode_of(shared + "/new.c"), 0660u);  // the named user's rw as the mask
  EXPECT_EQ(attribute(shared + "/new.c", kAccessList), attribute(shared + "/touched", kAccessList));
  EXPECT_EQ(attribute(shared + "/plain.c", kAccessList), "");
  EXPECT_EQ(mode_of(shared + "/plain.c"), 0644u);
}

// In a child process: a signal before the rename removes the temporary and
// ends the run by the signal; one after it ends nothing, for the target is
// already new.
TEST(OutputFile, SignalsAgreeWithTheTarget) {
  TempFolder folder;
  const std::string target = folder.path + "/out.txt";
  for (bool after_commit : {false, true}) {
    write_file(target, "earlier\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::OutputFile output;
      if (platform::create_output(target, kTag, {}, &output) != platform::CreateResult::kCreated ||
          !write_text(&output, "new\n") || (after_commit && !platform::commit_output(&output))) {
        _exit(2);
      }
      kill(getpid(), SIGTERM);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (after_commit) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_EQ(read_file(target), "new\n");
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
      EXPECT_EQ(read_file(target), "earlier\n");
    }
    EXPECT_EQ(list_folder(folder.path), Names{"out.txt"});
  }
}
#endif

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
    EXPECT_EQ(platform::create_output(folder.path + same, kTag, {&input}, &output),
              platform::CreateResult::kIsInput)
        << same;
  }
  // A name of the input among the slots is skipped, not removed.
  ASSERT_EQ(platform::create_output(folder.path + "/out.txt", kTag, {&input}, &output),
            platform::CreateResult::kCreated);
  ASSERT_TRUE(platform::commit_output(&output));
  platform::close_input(&input);
  EXPECT_EQ(list_folder(folder.path),
            (Names{".out.txt.test-00", "in.txt", "link.txt", "out.txt", "sub"}));
  EXPECT_EQ(read_file(folder.path + "/.out.txt.test-00"), "text\n");
}

}  // namespace
