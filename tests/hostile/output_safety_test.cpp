// The output is as safe as a plain open, and the input is never destroyed:
// links the kernel would not follow, also while they come and go, other names
// of the input, owners, sticky folders, the kernel's protections, append-only
// files and failed checks, on Linux.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "hostile_support.h"
#include "kestrin/bmp_bytes.h"

namespace {

const std::string kEarlier = "/* an earlier output */\n";
const std::string kPicture = bmp_bytes(2, 2, {{kRed, kBlack}, {kBlue, kWhite}});

std::string lortane_opening(const std::string& input, const std::string& output) {
  return kLortaneBanner + "Opening Input File: " + input + "\nOpening Output File: " + output +
         "\n";
}

// Copies of the programs in `folder`, so that another user can run them.
void copy_programs(const std::string& folder) {
  for (const char* program : {KESTRIN_PATH, LORTANE_PATH}) {
    const std::string copy =
        folder + "/" + std::string(program).substr(std::string(program).rfind('/') + 1);
    write_file(copy, read_file(program));
    chmod(copy.c_str(), 0755);
  }
}

// A kernel setting (/proc/sys/fs/<name>) changed for one test and restored.
struct KernelSetting {
  KernelSetting(const char* name, const char* value) : path(std::string("/proc/sys/fs/") + name) {
    earlier = read_file(path);
    set = !earlier.empty() && put(value) && read_file(path) == std::string(value) + "\n";
  }
  ~KernelSetting() {
    if (set) put(earlier.c_str());
  }
  bool put(const char* value) const {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = std::fputs(value, file) >= 0;
    return std::fclose(file) == 0 && written;
  }
  std::string path;
  std::string earlier;
  bool set = false;
};

// Runs `command` as user 1001; false where that cannot be done here.
bool as_other_user(const std::string& command, const std::string& folder) {
  return run_shell("setpriv --reuid=1001 --regid=1001 --clear-groups " + command, folder)
             .exit_status == 0;
}

// A tmpfs that follows no symbolic link, unmounted when the test ends.
struct NoSymFollowMount {
  explicit NoSymFollowMount(const std::string& at) : path(at) {
    make_folder(path);
    mounted = run_shell("mount -t tmpfs -o nosymfollow tmpfs " + shell_quote(path) + " 2>&1", "/")
                  .exit_status == 0;
  }
  ~NoSymFollowMount() {
    if (mounted) run_shell("umount " + shell_quote(path), "/");
  }
  std::string path;
  bool mounted = false;
};

// A plain `echo x > link` fails there; so does every run, touching nothing.
TEST(OutputSafety, LinksTheKernelWouldNotFollowAreNotFollowed) {
  TempFolder folder;
  NoSymFollowMount mount(folder.path + "/m");
  if (!mount.mounted) GTEST_SKIP() << "cannot mount a nosymfollow tmpfs here (needs root)";
  const std::string m = mount.path;
  write_file(folder.path + "/victim.txt", kEarlier);
  write_file(m + "/in.txt", "a\n");
  write_file(m + "/pic.bmp", kPicture);
  ASSERT_EQ(symlink((folder.path + "/victim.txt").c_str(), (m + "/out.c").c_str()), 0);
  ASSERT_EQ(symlink((folder.path + "/victim.txt").c_str(), (m + "/pic.bmp.h").c_str()), 0);
  ASSERT_EQ(symlink("in.txt", (m + "/self.c").c_str()), 0);
  const Names before = list_folder(m);

  ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, m);
  EXPECT_EQ(run.output, lortane_opening("in.txt", "out.c") + "Can't open: out.c\n");
  EXPECT_EQ(run.exit_status, 2);
  run = run_program(LORTANE_PATH, {"v", "in.txt", "self.c"}, m);
  EXPECT_EQ(run.output, lortane_opening("in.txt", "self.c") + "Can't open: self.c\n");
  EXPECT_EQ(run.exit_status, 2);
  run = run_program(KESTRIN_PATH, {"pic.bmp"}, m);
  EXPECT_EQ(run.output, kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n");
  EXPECT_EQ(run.exit_status, 6);

  EXPECT_EQ(read_file(folder.path + "/victim.txt"), kEarlier);
  EXPECT_EQ(read_file(m + "/in.txt"), "a\n");
  EXPECT_EQ(list_folder(m), before);
}

TEST(OutputSafety, TheInputIsNeverReplacedOrRemoved) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  // Past PATH_MAX, through a folder part that is not.
  std::string long_name;
  while (long_name.size() < 4090) long_name += "./";
  long_name += "in.txt";
  ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", long_name}, folder.path);
  EXPECT_EQ(run.output, lortane_opening("in.txt", long_name) +
                            "ERROR: input and output are the same file: in.txt\n");
  EXPECT_EQ(run.exit_status, 2);

  // An input named as a temporary of the output is not taken for a leftover.
  write_file(folder.path + "/.out.c.lortane-00", "b\n");
  run = run_program(LORTANE_PATH, {"v", ".out.c.lortane-00", "out.c"}, folder.path);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(read_file(folder.path + "/.out.c.lortane-00"), "b\n");

  write_file(folder.path + "/pic.bmp", kPicture);
  ASSERT_TRUE(make_hard_link(folder.path + "/pic.bmp", folder.path + "/pic.bmp.h"));
  run = run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path);
  EXPECT_EQ(run.output,
            kestrin_progress("pic.bmp") + "ERROR: input and output are the same file: pic.bmp\n");
  EXPECT_EQ(run.exit_status, 6);

  EXPECT_EQ(read_file(folder.path + "/in.txt"), "a\n");
  EXPECT_EQ(read_file(folder.path + "/pic.bmp"), kPicture);
  EXPECT_EQ(list_folder(folder.path),
            (Names{".out.c.lortane-00", "in.txt", "out.c", "pic.bmp", "pic.bmp.h"}));
}

// As root: a replaced file keeps its owner and group. As user 1001: in a
// sticky folder, names that user 65534 made in every slot block nothing, and
// 65534's own writable file, which no rename may replace, fails at once.
TEST(OutputSafety, OwnersAndStickyFolders) {
  TempFolder folder;
  if (geteuid() != 0 ||
      run_shell("setpriv --reuid=1001 --regid=1001 --clear-groups true", folder.path).exit_status !=
          0) {
    GTEST_SKIP() << "needs root, and setpriv to run as other users";
  }
  chmod(folder.path.c_str(), 01777);
  copy_programs(folder.path);
  write_file(folder.path + "/in.txt", "a\n");
  chmod((folder.path + "/in.txt").c_str(), 0644);

  write_file(folder.path + "/theirs.c", kEarlier);
  ASSERT_EQ(chown((folder.path + "/theirs.c").c_str(), 1001, 1001), 0);
  chmod((folder.path + "/theirs.c").c_str(), 0640);
  ASSERT_EQ(run_program(LORTANE_PATH, {"v", "in.txt", "theirs.c"}, folder.path).exit_status, 0);
  struct stat status;
  ASSERT_EQ(stat((folder.path + "/theirs.c").c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 1001u);
  EXPECT_EQ(status.st_gid, 1001u);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_NE(read_file(folder.path + "/theirs.c"), kEarlier);

  const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  const std::string user = "setpriv --reuid=1001 --regid=1001 --clear-groups ";
  ASSERT_EQ(run_shell(nobody + "sh -c 'touch .out.c.lortane-0{0,1,2,3,4,5,6,7} && "
                               "echo earlier > common.c && chmod 666 common.c'",
                      folder.path)
                .exit_status,
            0);
  const Names before = list_folder(folder.path);
  ProgramResult run = run_shell(user + "./lortane v in.txt out.c", folder.path);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(run_shell(user + "./lortane v in.txt common.c", folder.path).output,
            lortane_opening("in.txt", "common.c") + "Can't open: common.c\n");
  EXPECT_EQ(read_file(folder.path + "/common.c"), "earlier\n");
  Names after = before;
  after.push_back("out.c");
  std::sort(after.begin(), after.end());
  EXPECT_EQ(list_folder(folder.path), after);
}

// A check that fails (here every stat call in turn, by strace) fails the run
// or leaves it whole, and never leaves a temporary behind.
TEST(OutputSafety, FailedChecksLeaveNoTemporary) {
  TempFolder folder;
  if (run_shell("strace -o /dev/null true", folder.path).exit_status != 0) {
    GTEST_SKIP() << "strace cannot trace here";
  }
  write_file(folder.path + "/pic.bmp", kPicture);
  ASSERT_EQ(run_program(KESTRIN_PATH, {"-MP", "pic.bmp"}, folder.path).exit_status, 0);
  const std::string header = read_file(folder.path + "/pic.bmp.h");
  for (int call = 1; call <= 12; ++call) {
    SCOPED_TRACE(call);
    unlink((folder.path + "/pic.bmp.h").c_str());
    // LeakSanitizer cannot work under a tracer.
    const ProgramResult run = with_shell(
        "export ASAN_OPTIONS=detect_leaks=0", "strace",
        {"-f", "-o", "/dev/null", "-e", "inject=%%stat:error=EIO:when=" + std::to_string(call),
         KESTRIN_PATH, "-MP", "pic.bmp"},
        folder.path);
    const Names left = list_folder(folder.path);
    if (run.exit_status == 0) {
      EXPECT_EQ(read_file(folder.path + "/pic.bmp.h"), header);
      EXPECT_EQ(left, (Names{"pic.bmp", "pic.bmp.h"}));
    } else {
      EXPECT_EQ(left, Names{"pic.bmp"});
    }
  }
}

// The kernel's rules for a plain open, as root: another user's file in a
// sticky, world-writable folder is refused under fs.protected_regular; a link
// inside the path is followed even where fs.protected_symlinks would refuse
// it in the last place.
TEST(OutputSafety, TheKernelsProtectionsAsAPlainOpenHasThem) {
  TempFolder folder;
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  KernelSetting regular("protected_regular", "1");
  KernelSetting symlinks("protected_symlinks", "1");
  if (!regular.set || !symlinks.set) GTEST_SKIP() << "cannot change the kernel's settings here";
  chmod(folder.path.c_str(), 0755);
  const std::string st = folder.path + "/st";
  ASSERT_TRUE(make_folder(st) && make_folder(folder.path + "/d"));
  chmod(st.c_str(), 01777);
  chmod((folder.path + "/d").c_str(), 0777);
  write_file(st + "/in.txt", "a\n");
  write_file(st + "/pic.bmp", kPicture);
  ASSERT_TRUE(
      as_other_user("sh -c 'echo theirs > st/theirs.c && echo theirs > st/pic.bmp.h && "
                    "chmod 666 st/theirs.c st/pic.bmp.h && ln -s ../d st/dlink'",
                    folder.path));
  ASSERT_LT(open((st + "/theirs.c").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 0);
  ASSERT_EQ(errno, EACCES);

  ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", "theirs.c"}, st);
  EXPECT_EQ(run.output, lortane_opening("in.txt", "theirs.c") + "Can't open: theirs.c\n");
  EXPECT_EQ(run.exit_status, 2);
  run = run_program(KESTRIN_PATH, {"pic.bmp"}, st);
  EXPECT_EQ(run.output, kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n");
  EXPECT_EQ(run.exit_status, 6);
  EXPECT_EQ(read_file(st + "/theirs.c"), "theirs\n");
  EXPECT_EQ(read_file(st + "/pic.bmp.h"), "theirs\n");

  run = run_program(LORTANE_PATH, {"v", "in.txt", "dlink/v.c"}, st);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_TRUE(file_exists(folder.path + "/d/v.c"));
}

// chattr +a and +i (root only): a plain open for writing fails at once on
// such a file, and a rename in such a folder fails; so does every run, before
// any work.
TEST(OutputSafety, AppendOnlyAndImmutableFailAtOnce) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/app.c", kEarlier);
  write_file(folder.path + "/fixed.c", kEarlier);
  write_file(folder.path + "/pic.bmp.h", kEarlier);
  ASSERT_TRUE(make_folder(folder.path + "/log"));
  const std::string unset = "chattr -a app.c pic.bmp.h log; chattr -i fixed.c";
  if (run_shell("chattr +a app.c pic.bmp.h log && chattr +i fixed.c", folder.path).exit_status !=
      0) {
    run_shell(unset, folder.path);
    GTEST_SKIP() << "chattr +a and +i need root and a file system that has them";
  }
  for (const std::string out : {"app.c", "fixed.c", "log/new.c"}) {
    SCOPED_TRACE(out);
    const ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", out}, folder.path);
    EXPECT_EQ(run.output, lortane_opening("in.txt", out) + "Can't open: " + out + "\n");
    EXPECT_EQ(run.exit_status, 2);
  }
  const ProgramResult run = run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path);
  EXPECT_EQ(run.output, kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n");
  EXPECT_EQ(run.exit_status, 6);
  run_shell(unset, folder.path);
  EXPECT_EQ(read_file(folder.path + "/app.c"), kEarlier);
  EXPECT_EQ(read_file(folder.path + "/fixed.c"), kEarlier);
  EXPECT_EQ(list_folder(folder.path + "/log"), Names());
}

// The target is a link to a name in a sticky, world-writable folder, where
// another user makes and removes a link to a file of their choosing, over
// and over. The kernel never follows their link for an open, and neither
// does any run: no file ever appears where it points.
TEST(OutputSafety, ALinkThatComesAndGoesIsNeverFollowedWhereTheKernelWouldNot) {
  TempFolder folder;
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  KernelSetting symlinks("protected_symlinks", "1");
  if (!symlinks.set) GTEST_SKIP() << "cannot change the kernel's settings here";
  chmod(folder.path.c_str(), 0755);
  const std::string st = folder.path + "/st", evil = st + "/evil";
  const std::string planted = folder.path + "/victim/new";
  ASSERT_TRUE(make_folder(st) && make_folder(folder.path + "/victim"));
  chmod(st.c_str(), 01777);
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/src.bmp", kPicture);
  ASSERT_EQ(run_program(KESTRIN_PATH, {"src.bmp"}, folder.path).exit_status, 0);
  for (const char* link : {"/out.c", "/pic.bmp.h", "/out.png", "/out.bmp"}) {
    ASSERT_EQ(symlink(evil.c_str(), (folder.path + link).c_str()), 0);
  }
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    if (setresgid(1001, 1001, 1001) != 0 || setresuid(1001, 1001, 1001) != 0) _exit(1);
    for (;;) {
      (void)!symlink(planted.c_str(), evil.c_str());
      unlink(evil.c_str());
    }
  }
  // The race starts once the other user's link has been seen.
  struct stat seen;
  for (int wait = 0; wait < 5000 && !(lstat(evil.c_str(), &seen) == 0 && S_ISLNK(seen.st_mode));
       ++wait) {
    usleep(1000);
  }
  // Counts, after each try, whether a file appeared through the link; and
  // clears the file the try made in the link's place, which would end the race.
  int planted_files = 0;
  const auto settle = [&] {
    if (unlink(planted.c_str()) == 0) ++planted_files;
    struct stat status;
    if (lstat(evil.c_str(), &status) == 0 && S_ISREG(status.st_mode)) unlink(evil.c_str());
  };
  int refused = 0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int fd = open((folder.path + "/out.c").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 && errno == EACCES) ++refused;
    if (fd >= 0) close(fd);
    settle();
  }
  EXPECT_GT(refused, 0) << "the other user's link was never met: the race is not live";
  EXPECT_EQ(planted_files, 0) << "a plain open";
  const std::vector<std::pair<std::string, Names>> runs = {
      {LORTANE_PATH, {"v", "in.txt", "out.c"}},
      {KESTRIN_PATH, {"pic.bmp"}},
      {KESTRIN_PREVIEW_PATH, {"src.bmp.h", "out.png"}},
      {KESTRIN_PREPARE_PATH, {"--quiet", "src.bmp", "out.bmp"}}};
  for (const auto& program : runs) {
    planted_files = refused = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (run_program(program.first, program.second, folder.path).exit_status != 0) ++refused;
      settle();
    }
    std::printf("%s: %d of 100 runs refused, %d planted a file\n", program.first.c_str(), refused,
                planted_files);
    EXPECT_EQ(planted_files, 0) << program.first;
  }
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

// A plain open fails on a program that is running and on a path of more
// links than the kernel follows, counted across the path; so does every run.
TEST(OutputSafety, ARunningProgramAndEndlessLinksAreRefused) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/running", read_file("/bin/sleep"));
  chmod((folder.path + "/running").c_str(), 0755);
  ASSERT_EQ(symlink(".", (folder.path + "/here").c_str()), 0);
  for (int i = 1; i <= 25; ++i) {  // a1 -> here/a2 -> ... -> a26 -> final.c: 50 links
    const std::string to = i < 26 ? "here/a" + std::to_string(i + 1) : "final.c";
    ASSERT_EQ(symlink(to.c_str(), (folder.path + "/a" + std::to_string(i)).c_str()), 0);
  }
  ASSERT_EQ(symlink("final.c", (folder.path + "/a26").c_str()), 0);
  const ProgramResult busy = run_shell("./running 5 & sleep 0.2; " + shell_quote(LORTANE_PATH) +
                                           " v in.txt running; echo \"$?\"; kill $!",
                                       folder.path);
  EXPECT_EQ(busy.output, lortane_opening("in.txt", "running") + "Can't open: running\n2\n");
  const ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", "a1"}, folder.path);
  EXPECT_EQ(run.output, lortane_opening("in.txt", "a1") + "Can't open: a1\n");
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_FALSE(file_exists(folder.path + "/final.c"));
}

// Another user who may look into the folder opens and locks every name that
// appears there: the temporaries are open to their owner alone from the
// start, so no run ever waits for that user.
TEST(OutputSafety, NoOtherUserCanHoldATemporary) {
  TempFolder folder;
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  chmod(folder.path.c_str(), 0755);
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/pic.bmp", kPicture);
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    const int watch = inotify_init();
    const int dir = open(folder.path.c_str(), O_RDONLY | O_DIRECTORY);
    if (setresgid(1001, 1001, 1001) != 0 || setresuid(1001, 1001, 1001) != 0 || watch < 0 ||
        inotify_add_watch(watch, folder.path.c_str(), IN_CREATE) < 0) {
      _exit(1);
    }
    alignas(inotify_event) char events[4096];
    for (;;) {
      const ssize_t got = read(watch, events, sizeof events);
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        const int fd = openat(dir, event->name, O_RDONLY);
        if (fd >= 0) (void)!flock(fd, LOCK_EX | LOCK_NB);  // held until this process ends
        at += static_cast<ssize_t>(sizeof *event + event->len);
      }
    }
  }
  usleep(200000);
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::string n = std::to_string(attempt);
    for (const Names& args : {Names{"3", LORTANE_PATH, "v", "in.txt", "new" + n + ".c"},
                              Names{"3", KESTRIN_PREPARE_PATH, "pic.bmp", "new" + n + ".bmp"}}) {
      const ProgramResult run = with_shell("", "timeout", args, folder.path);
      EXPECT_EQ(run.exit_status, 0) << args[1] << " " << args.back();
    }
  }
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

}  // namespace
