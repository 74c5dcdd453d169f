// A power loss right after a replace: on an ext4 image on a loop device, the
// file system is shut down without flushing its journal just after a second
// conversion has replaced the first, then mounted again. The target must hold
// the first output or the second, whole, wherever the kernel keeps a file
// that a plain write and rename put over another. Needs root and loop devices.

#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "hostile_support.h"
#include "kestrin/bmp_bytes.h"

#ifndef _WIN32
#ifndef EXT4_IOC_SHUTDOWN
#define EXT4_IOC_SHUTDOWN _IOR('X', 125, std::uint32_t)
#endif
#ifndef EXT4_GOING_FLAGS_NOLOGFLUSH
#define EXT4_GOING_FLAGS_NOLOGFLUSH 0x2
#endif
#endif

namespace {

#ifndef _WIN32
constexpr int kTries = 4;

// A mounted ext4 image of its own, unmounted at the end.
struct Ext4Image {
  TempFolder folder;
  std::string mount_point = folder.path + "/mnt";
  std::string why_not;  // empty when mounted

  Ext4Image() {
    if (geteuid() != 0) {
      why_not = "needs root to mount a loop device";
      return;
    }
    const ProgramResult made = run_shell(
        "truncate -s 128M image && mkfs.ext4 -q -F image 2>&1 && mkdir mnt && "
        "mount -o loop image mnt 2>&1",
        folder.path);
    if (made.exit_status != 0) why_not = "cannot mount an ext4 image here: " + made.output;
  }
  ~Ext4Image() {
    if (why_not.empty()) run_shell("umount mnt 2>/dev/null", folder.path);
  }

  // Shuts the file system down as a power loss would, keeping what its
  // journal had committed, and mounts it again.
  bool lose_power() {
    const int fd = open(mount_point.c_str(), O_RDONLY | O_DIRECTORY);
    std::uint32_t flags = EXT4_GOING_FLAGS_NOLOGFLUSH;
    const bool shut = fd >= 0 && ioctl(fd, EXT4_IOC_SHUTDOWN, &flags) == 0;
    if (fd >= 0) close(fd);
    return shut && run_shell("umount mnt && mount -o loop image mnt", folder.path).exit_status == 0;
  }

  // Makes the journal commit what has happened so far, the rename included,
  // as ext4 does every few seconds, without writing back any file's data.
  void commit_journal() {
    const int fd = open((mount_point + "/other").c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
};

// Whether this kernel keeps a file that a plain write and rename put over
// another (ext4's auto_da_alloc), which is what the tools promise no more
// than: a temporary written without fsync and renamed over the target.
bool plain_replace_survives(std::string* why_not) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    Ext4Image image;
    if (!image.why_not.empty()) {
      *why_not = image.why_not;
      return false;
    }
    const std::string target = image.mount_point + "/plain.c";
    const std::string second(1 << 20, 'b');
    write_file(target, std::string(1 << 20, 'a'));
    sync();
    write_file(target + ".new", second);
    if (std::rename((target + ".new").c_str(), target.c_str()) != 0) {
      *why_not = "cannot rename in the ext4 image";
      return false;
    }
    image.commit_journal();
    if (!image.lose_power()) {
      *why_not = "the file system could not be shut down and mounted again";
      return false;
    }
    const std::string after = read_file(target);
    if (after != second && after != std::string(1 << 20, 'a')) {
      *why_not =
          "this kernel's ext4 loses a file that a plain write and rename put over another "
          "(it does not honour auto_da_alloc), so no program that replaces a file without "
          "fsync keeps it whole here";
      return false;
    }
  }
  return true;
}

// Converts `first`, then `second`, into the same target and loses power.
void expect_whole_after_power_loss(bool kestrin, const std::string& first,
                                   const std::string& second) {
  std::string why_not;
  if (!plain_replace_survives(&why_not)) GTEST_SKIP() << why_not;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    SCOPED_TRACE(std::string(kestrin ? "kestrin" : "lortane") + ", try " + std::to_string(attempt));
    Ext4Image image;
    if (!image.why_not.empty()) GTEST_SKIP() << image.why_not;
    const std::string& dir = image.mount_point;
    const std::string input = dir + (kestrin ? "/p.bmp" : "/t.txt");
    const std::string target = dir + (kestrin ? "/p.bmp.h" : "/t.c");
    const auto convert = [&] {
      return kestrin ? run_program(KESTRIN_PATH, {"p.bmp"}, dir)
                     : run_program(LORTANE_PATH, {"text", "t.txt", "t.c"}, dir);
    };
    write_file(input, first);
    ASSERT_EQ(convert().exit_status, 0);
    const std::string old_output = read_file(target);
    sync();
    write_file(input, second);
    ASSERT_EQ(convert().exit_status, 0);
    const std::string new_output = read_file(target);
    image.commit_journal();
    ASSERT_TRUE(image.lose_power()) << "the file system could not be shut down and mounted again";
    const std::string after = read_file(target);
    EXPECT_TRUE(after == old_output || after == new_output)
        << "after the power loss the target holds " << after.size() << " bytes, neither the "
        << old_output.size() << " of the first output nor the " << new_output.size()
        << " of the second";
  }
}
#endif

TEST(PowerLoss, KestrinReplacedHeaderIsWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "needs an ext4 image on a Linux loop device";
#else
  expect_whole_after_power_loss(true, bmp_bytes(512, 512, noise_rows(512, 512, 1)),
                                bmp_bytes(512, 512, noise_rows(512, 512, 2)));
#endif
}

TEST(PowerLoss, LortaneReplacedSourceIsWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "needs an ext4 image on a Linux loop device";
#else
  std::string first, second;
  for (int i = 0; first.size() < (1 << 20); ++i) {
    first += "first text, line " + std::to_string(i) + "\n";
    second += "the second text, line " + std::to_string(i) + "\n";
  }
  expect_whole_after_power_loss(false, first, second);
#endif
}

}  // namespace
