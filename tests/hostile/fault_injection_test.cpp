// Faults from outside: a full disk (a lowered file-size limit), outputs that
// may not or cannot be written, and signals in the middle of a large output.
// Whatever happens, no temporary is left behind and an earlier output stays
// byte for byte as it was.

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#ifndef _WIN32
#include <limits.h>
#include <sys/file.h>
#endif

#include <algorithm>
#include <cerrno>
#include <string>

#include "hostile_support.h"
#include "kestrin/bmp_bytes.h"

namespace {

#ifndef _WIN32
const std::string kEarlier = "/* an earlier output */\n";

// The 2 x 2 picture of kestrin_progress.
const std::string kPicture = bmp_bytes(2, 2, {{kRed, kBlack}, {kBlue, kWhite}});

std::string lortane_progress(const std::string& output) {
  return kLortaneBanner + "Opening Input File: in.txt\nOpening Output File: " + output +
         "\nUsing variable name: v\n";
}

mode_t mode_of(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

struct DiskFullCase {
  const char* what;
  bool kestrin;
  std::string input;
  const char* limit;  // ulimit -f, in blocks of 1024 bytes
  bool earlier;
};
#endif

// With SIGXFSZ ignored, as a shell or build tool may leave it, a write past
// the limit fails with EFBIG; the run must say so instead of keeping a cut file.
TEST(FaultDiskFull, WritesPastTheSizeLimitFailWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX shell's ulimit -f and SIGXFSZ";
#else
  const DiskFullCase cases[] = {
      {"kestrin, nothing may be written", true, kPicture, "0", true},
      {"kestrin, no earlier header", true, kPicture, "0", false},
      {"kestrin, a large header", true, bmp_bytes(512, 64, noise_rows(512, 64)), "16", true},
      {"lortane, nothing may be written", false, "a\nb\n", "0", true},
      {"lortane, a large output", false, std::string(1 << 20, '\x01'), "8", true},
      {"lortane, no earlier output", false, std::string(1 << 20, '"'), "8", false},
  };
  for (const DiskFullCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string input = c.kestrin ? "pic.bmp" : "in.txt";
    const std::string output = c.kestrin ? "pic.bmp.h" : "out.c";
    write_file(folder.path + "/" + input, c.input);
    if (c.earlier) write_file(folder.path + "/" + output, kEarlier);
    const std::string setup = std::string("trap '' XFSZ && ulimit -f ") + c.limit;
    const ProgramResult run =
        c.kestrin ? with_shell(setup, KESTRIN_PATH, {input}, folder.path)
                  : with_shell(setup, LORTANE_PATH, {"v", input, output}, folder.path);
    if (c.kestrin) {
      EXPECT_EQ(run.exit_status, 6);
      const std::string tail = "Output File: pic.bmp.h\nERROR: error writing file: pic.bmp.h\n";
      EXPECT_EQ(run.output.rfind(kKestrinBanner + "Opening File: pic.bmp\n\tInfoHeader", 0), 0u);
      ASSERT_GE(run.output.size(), tail.size());
      EXPECT_EQ(run.output.substr(run.output.size() - tail.size()), tail);
    } else {
      EXPECT_EQ(run.exit_status, 3);
      EXPECT_EQ(run.output, lortane_progress("out.c") + "ERROR: error writing file: out.c\n");
    }
    EXPECT_EQ(list_folder(folder.path), c.earlier ? Names({input, output}) : Names({input}));
    if (c.earlier) {
      EXPECT_EQ(read_file(folder.path + "/" + output), kEarlier);
    }
  }
#endif
}

// Root may write anywhere, so the runs drop to the user nobody (65534).
TEST(FaultUnwritable, AnotherUsersFilesAndFoldersAreLeftAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "needs POSIX modes and setpriv (a read-only target is in the Windows tests)";
#else
  TempFolder folder;
  std::string as_nobody;
  if (geteuid() == 0) {
    if (run_shell("setpriv --reuid=65534 --regid=65534 --clear-groups true", folder.path)
            .exit_status != 0) {
      GTEST_SKIP() << "running as root, and setpriv cannot drop to user 65534 here";
    }
    as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  }
  // The folder is open to all; copies of the programs, so the other user can
  // run them wherever the build lies.
  chmod(folder.path.c_str(), 0777);
  for (const char* program : {KESTRIN_PATH, LORTANE_PATH}) {
    const std::string copy =
        folder.path + "/" + std::string(program).substr(std::string(program).rfind('/') + 1);
    write_file(copy, read_file(program));
    chmod(copy.c_str(), 0755);
  }
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/pic.bmp.h", kEarlier);
  chmod((folder.path + "/pic.bmp.h").c_str(), 0444);
  // closed/ holds a picture and nothing else; shut/ also holds outputs that
  // anyone may write, but no temporary can be made beside them.
  for (const char* sub : {"/closed", "/shut"}) {
    mkdir((folder.path + sub).c_str(), 0755);
    write_file(folder.path + sub + "/pic.bmp", kPicture);
  }
  for (const char* writable : {"/shut/pic.bmp.h", "/shut/out.c"}) {
    write_file(folder.path + writable, kEarlier);
    chmod((folder.path + writable).c_str(), 0666);
  }
  chmod((folder.path + "/closed").c_str(), 0555);
  chmod((folder.path + "/shut").c_str(), 0555);

  struct Case {
    std::string command, output;
    int status;
  };
  const Case cases[] = {
      {"./kestrin pic.bmp", kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n",
       6},
      {"./kestrin closed/pic.bmp",
       kestrin_progress("closed/pic.bmp") + "ERROR: error opening file: closed/pic.bmp.h\n", 6},
      {"./kestrin shut/pic.bmp",
       kestrin_progress("shut/pic.bmp") + "ERROR: error opening file: shut/pic.bmp.h\n", 6},
      {"./lortane v in.txt shut/out.c",
       kLortaneBanner +
           "Opening Input File: in.txt\nOpening Output File: shut/out.c\nCan't open: shut/out.c\n",
       2},
  };
  const Names everything = list_folder(folder.path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const ProgramResult run = run_shell(as_nobody + " " + c.command, folder.path);
    EXPECT_EQ(run.exit_status, c.status);
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(list_folder(folder.path), everything);
    EXPECT_EQ(list_folder(folder.path + "/closed"), Names({"pic.bmp"}));
    EXPECT_EQ(list_folder(folder.path + "/shut"), Names({"out.c", "pic.bmp", "pic.bmp.h"}));
    EXPECT_EQ(read_file(folder.path + "/pic.bmp.h"), kEarlier);
    EXPECT_EQ(mode_of(folder.path + "/pic.bmp.h") & 07777, 0444u);
    EXPECT_EQ(read_file(folder.path + "/shut/pic.bmp.h"), kEarlier);
    EXPECT_EQ(read_file(folder.path + "/shut/out.c"), kEarlier);
  }
#endif
}

// Places no plain open could write to; a FIFO must not make a run wait for a
// reader (each run is ended after ten seconds, which shows as status 124).
TEST(FaultUnwritable, OutputsThatCannotBeMadeAnywhere) {
#ifdef _WIN32
  GTEST_SKIP() << "needs FIFOs and symbolic links (a missing folder is in the Windows tests)";
#else
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/file", kEarlier);
  ASSERT_EQ(mkfifo((folder.path + "/fifo").c_str(), 0644), 0);
  const Names before = {"fifo", "file", "in.txt", "pic.bmp"};

  // kestrin's output is always the input's name with ".h": here a FIFO, or a
  // link into a file or into a folder that does not exist.
  for (const std::string target : {"fifo", "file/out.h", "missing/out.h"}) {
    SCOPED_TRACE(target);
    if (target == "fifo") {
      ASSERT_EQ(mkfifo((folder.path + "/pic.bmp.h").c_str(), 0644), 0);
    } else {
      ASSERT_EQ(symlink(target.c_str(), (folder.path + "/pic.bmp.h").c_str()), 0);
    }
    const ProgramResult run = bounded(KESTRIN_PATH, {"pic.bmp"}, folder.path);
    EXPECT_EQ(run.exit_status, 6);
    EXPECT_EQ(run.output, kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n");
    Names expected = before;
    expected.push_back("pic.bmp.h");
    EXPECT_EQ(list_folder(folder.path), expected);
    ASSERT_EQ(unlink((folder.path + "/pic.bmp.h").c_str()), 0);
  }

  for (const std::string output : {"fifo", "file/out.c", "missing/out.c"}) {
    SCOPED_TRACE(output);
    const ProgramResult run = bounded(LORTANE_PATH, {"v", "in.txt", output}, folder.path);
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_EQ(run.output, kLortaneBanner + "Opening Input File: in.txt\nOpening Output File: " +
                              output + "\nCan't open: " + output + "\n");
    EXPECT_EQ(list_folder(folder.path), before);
  }
  EXPECT_TRUE(S_ISFIFO(mode_of(folder.path + "/fifo")));
  EXPECT_EQ(read_file(folder.path + "/file"), kEarlier);
#endif
}

#ifndef _WIN32
// Starts `argv` in `folder` with standard output discarded, the default action
// for every signal and none blocked, and a file-size limit as a guard should a
// test go wrong.
pid_t start(const std::string& folder, const Names& argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (int s = 1; s < NSIG; ++s) signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit limit{rlim_t{512} << 20, rlim_t{512} << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    if (chdir(folder.c_str()) != 0) _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Waits until a file in `folder` whose name starts with `prefix` holds at
// least `bytes`; false when the process ends first. Leaves it unreaped.
bool wait_for_temporary(pid_t pid, const std::string& folder, const std::string& prefix,
                        off_t bytes) {
  for (int i = 0; i < 200000; ++i) {
    for (const std::string& name : list_folder(folder)) {
      struct stat st;
      if (name.rfind(prefix, 0) == 0 && stat((folder + "/" + name).c_str(), &st) == 0 &&
          st.st_size >= bytes) {
        return true;
      }
    }
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      return false;
    }
    usleep(100);
  }
  return false;
}

int end_with(pid_t pid, int signal_number) {
  kill(pid, signal_number);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}
#endif

// A picture of width 0 and 2^31 - 1 rows writes an empty line per row, over
// 2 GiB of header from a 54-byte file: ample time to be interrupted.
TEST(FaultInterrupted, KestrinStoppedInALargeHeader) {
#ifdef _WIN32
  GTEST_SKIP() << "needs POSIX signals (Ctrl-C is in the Windows tests)";
#else
  struct Case {
    const char* what;
    int signal_number;
    bool earlier;
    bool through_link;  // pic.bmp.h links to real/out.h, where the temporary goes
  };
  const Case cases[] = {
      {"SIGHUP, earlier header", SIGHUP, true, false},
      {"SIGTERM, no earlier header", SIGTERM, false, false},
      {"SIGINT, through a link", SIGINT, true, true},
  };
  std::string tall = kPicture.substr(0, 54);
  put_u32(&tall, kBiWidth, 0);
  put_u32(&tall, kBiHeight, 0x7FFFFFFF);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    write_file(folder.path + "/pic.bmp", tall);
    std::string written_folder = folder.path;
    if (c.through_link) {
      written_folder += "/real";
      mkdir(written_folder.c_str(), 0755);
      ASSERT_EQ(symlink("real/out.h", (folder.path + "/pic.bmp.h").c_str()), 0);
    }
    const std::string written = written_folder + (c.through_link ? "/out.h" : "/pic.bmp.h");
    if (c.earlier) write_file(written, kEarlier);
    const Names before = list_folder(written_folder);

    const pid_t pid = start(folder.path, {KESTRIN_PATH, "pic.bmp"});
    const bool seen = wait_for_temporary(
        pid, written_folder, c.through_link ? ".out.h.kestrin-" : ".pic.bmp.h.kestrin-", 2 << 20);
    const int status = end_with(pid, c.signal_number);
    ASSERT_TRUE(seen) << "the run ended before 2 MiB of its temporary were seen";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number);
    EXPECT_EQ(list_folder(written_folder), before);
    if (c.earlier) {
      EXPECT_EQ(read_file(written), kEarlier);
    }
    if (c.through_link) {
      EXPECT_TRUE(S_ISLNK(mode_of(folder.path + "/pic.bmp.h")));
    }
  }
#endif
}

// The text comes through a FIFO that stays open: after 4 MiB of lines the run
// has written well over 2 MiB of its temporary and waits for more.
TEST(FaultInterrupted, LortaneStoppedInALargeOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "needs FIFOs and POSIX signals (Ctrl-C is in the Windows tests)";
#else
  const std::string lines = [] {
    std::string text;
    for (int i = 0; text.size() < (4u << 20); ++i) {
      text += "line " + std::to_string(i) + " \"quoted\" \\ and some more text to fill it\n";
    }
    return text;
  }();
  for (int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    TempFolder folder;
    write_file(folder.path + "/out.c", kEarlier);
    const std::string fifo = folder.path + "/in.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // Read and write, so neither this open nor the program's waits for the other.
    const int feed = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(feed, 0);

    const pid_t pid = start(folder.path, {LORTANE_PATH, "v", "in.fifo", "out.c"});
    std::size_t fed = 0;
    for (int i = 0; fed < lines.size() && i < 200000; ++i) {
      const ssize_t n = write(feed, lines.data() + fed, lines.size() - fed);
      if (n > 0) fed += static_cast<std::size_t>(n);
      if (n < 0 && errno == EAGAIN) usleep(100);
    }
    const bool seen =
        fed == lines.size() && wait_for_temporary(pid, folder.path, ".out.c.lortane-", 2 << 20);
    const int status = end_with(pid, signal_number);
    close(feed);
    ASSERT_TRUE(seen) << "fed " << fed << " bytes; no 2 MiB temporary was seen";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    EXPECT_EQ(list_folder(folder.path), Names({"in.fifo", "out.c"}));
    EXPECT_EQ(read_file(folder.path + "/out.c"), kEarlier);
  }
#endif
}

// When whoever reads the console goes away (`lortane ... | head -n 3`), the
// next console write ends the run by SIGPIPE. Here the variable name is
// longer than a pipe holds, so the run is caught writing "Using variable name"
// with its temporary open, and the reader then leaves.
TEST(FaultInterrupted, LortaneConsoleReaderGoesAway) {
#ifdef _WIN32
  GTEST_SKIP() << "needs SIGPIPE";
#else
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/out.c", kEarlier);
  int console[2];
  ASSERT_EQ(pipe(console), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(console[1], 1);
    close(console[0]);
    close(console[1]);
    if (chdir(folder.path.c_str()) != 0) _exit(127);
    const std::string name(100000, 'v');
    execl(LORTANE_PATH, LORTANE_PATH, name.c_str(), "in.txt", "out.c", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(console[1]);
  const bool seen = wait_for_temporary(pid, folder.path, ".out.c.lortane-", 0);
  close(console[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(seen) << "the run ended before its temporary was seen";
  EXPECT_EQ(list_folder(folder.path), Names({"in.txt", "out.c"}));
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(read_file(folder.path + "/out.c"), kEarlier);
  }
#endif
}

// The same for kestrin, whose console is buffered: with a path of about 3000
// bytes the first console write falls in "Output File: ...", after the
// temporary is made, and the console's reader is gone from the start.
TEST(FaultInterrupted, KestrinConsoleReaderGoesAway) {
#ifdef _WIN32
  GTEST_SKIP() << "needs SIGPIPE";
#else
  TempFolder folder;
  std::string folders;
  for (int i = 0; i < 12; ++i) folders += (i ? "/" : "") + std::string(240, 'a' + i);
  ASSERT_EQ(run_shell("mkdir -p " + folders, folder.path).exit_status, 0);
  const std::string deep = folder.path + "/" + folders;
  write_file(deep + "/pic.bmp", kPicture);
  write_file(deep + "/pic.bmp.h", kEarlier);
  int console[2];
  ASSERT_EQ(pipe(console), 0);
  close(console[0]);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(console[1], 1);
    close(console[1]);
    if (chdir(folder.path.c_str()) != 0) _exit(127);
    const std::string input = folders + "/pic.bmp";
    execl(KESTRIN_PATH, KESTRIN_PATH, input.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(console[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(list_folder(deep), Names({"pic.bmp", "pic.bmp.h"}));
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(read_file(deep + "/pic.bmp.h"), kEarlier);
  }
#endif
}

#ifndef _WIN32
// A long run of either tool: kestrin on a picture of `rows` empty rows,
// caught once its temporary holds `bytes`, lortane on a FIFO that stays open,
// caught once it has its temporary.
struct LongRun {
  pid_t pid = -1;
  int feed = -1;  // lortane's FIFO, kept open for writing
  std::string output, temp_prefix;
};

LongRun start_long_run(const TempFolder& folder, bool kestrin, off_t bytes,
                       std::uint32_t rows = 0x7FFFFFFF) {
  LongRun run;
  if (kestrin) {
    std::string tall = kPicture.substr(0, 54);
    put_u32(&tall, kBiWidth, 0);
    put_u32(&tall, kBiHeight, rows);
    write_file(folder.path + "/pic.bmp", tall);
    run.output = "pic.bmp.h";
    run.pid = start(folder.path, {KESTRIN_PATH, "pic.bmp"});
  } else {
    const std::string fifo = folder.path + "/in.fifo";
    if (mkfifo(fifo.c_str(), 0644) != 0) return run;
    run.feed = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    // Its output goes out in large blocks: the first line waits in one.
    const std::string line = "first line\nsecond";
    if (run.feed < 0 || write(run.feed, line.data(), line.size()) != ssize_t(line.size())) {
      return run;
    }
    bytes = 0;
    run.output = "out.c";
    run.pid = start(folder.path, {LORTANE_PATH, "v", "in.fifo", "out.c"});
  }
  run.temp_prefix = "." + run.output + (kestrin ? ".kestrin-" : ".lortane-");
  if (!wait_for_temporary(run.pid, folder.path, run.temp_prefix, bytes)) {
    end_with(run.pid, SIGKILL);
    run.pid = -1;
  }
  return run;
}

int finish(LongRun* run, int signal_number, int repeat = 1) {
  for (int i = 1; i < repeat; ++i) kill(run->pid, signal_number);
  const int status = end_with(run->pid, signal_number);
  if (run->feed >= 0) close(run->feed);
  return status;
}

Names without(Names names, const std::string& prefix) {
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const std::string& n) { return n.rfind(prefix, 0) == 0; }),
              names.end());
  return names;
}
#endif

// Every signal whose default ends the process, also when it comes twice in
// quick succession (as `timeout` sends it to the process and then to its
// group), removes the temporary before it ends the run.
TEST(FaultInterrupted, EveryTerminatingSignalRemovesTheTemporary) {
#ifdef _WIN32
  GTEST_SKIP() << "needs POSIX signals (Ctrl-C is in the Windows tests)";
#else
  const int kSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGUSR1, SIGUSR2,
                          SIGALRM, SIGPROF, SIGXCPU, SIGVTALRM, SIGPIPE, SIGRTMIN + 1};
  for (bool kestrin : {true, false}) {
    for (int signal_number : kSignals) {
      for (int repeat : {1, 2}) {
        SCOPED_TRACE(std::string(kestrin ? "kestrin" : "lortane") + ", signal " +
                     std::to_string(signal_number) + " x" + std::to_string(repeat));
        TempFolder folder;
        LongRun run = start_long_run(folder, kestrin, 1 << 16);
        ASSERT_GT(run.pid, 0) << "the run ended before its temporary was seen";
        write_file(folder.path + "/" + run.output, kEarlier);
        const int status = finish(&run, signal_number, repeat);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
        EXPECT_EQ(list_folder(folder.path), without(list_folder(folder.path), run.temp_prefix));
        EXPECT_EQ(read_file(folder.path + "/" + run.output), kEarlier);
      }
    }
  }
#endif
}

// SIGKILL cannot be caught and leaves the temporary; the next run for the same
// target removes it, but never the one a live run is writing (it is locked)
// nor another target's.
TEST(FaultInterrupted, LeftoversOfKilledRunsAreRemovedByTheNextRun) {
#ifdef _WIN32
  GTEST_SKIP() << "needs SIGKILL and flock (leftovers are in the Windows tests)";
#else
  for (bool kestrin : {true, false}) {
    SCOPED_TRACE(kestrin ? "kestrin" : "lortane");
    TempFolder folder;
    LongRun killed = start_long_run(folder, kestrin, 1 << 16);
    ASSERT_GT(killed.pid, 0);
    finish(&killed, SIGKILL);
    const Names left = list_folder(folder.path);
    ASSERT_NE(without(left, killed.temp_prefix), left) << "SIGKILL left no temporary";

    // The killed run had the first slot; a live run has the next, and one
    // killed earlier left a temporary past a free slot.
    const std::string live = folder.path + "/" + killed.temp_prefix + "01";
    const std::string earlier = folder.path + "/" + killed.temp_prefix + "03";
    const std::string other =
        folder.path + "/.other.h" + (kestrin ? ".kestrin-" : ".lortane-") + "00";
    write_file(live, "being written");
    write_file(earlier, "left behind");
    write_file(other, "another target's");
    const int lock = open(live.c_str(), O_RDONLY);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    write_file(folder.path + "/pic.bmp", kPicture);
    write_file(folder.path + "/in.txt", "a\n");
    const ProgramResult run =
        kestrin ? run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path)
                : run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
    close(lock);
    EXPECT_EQ(run.exit_status, 0) << run.output;
    const Names now = list_folder(folder.path);
    EXPECT_EQ(without(now, killed.temp_prefix).size() + 1, now.size()) << "left: " << now.size();
    EXPECT_TRUE(file_exists(live));
    EXPECT_FALSE(file_exists(earlier));
    EXPECT_TRUE(file_exists(other));
  }
#endif
}

// A folder that appears at the target's name while the run writes is never
// moved aside: the rename fails, and so does the run.
TEST(FaultUnwritable, FolderAppearingAtTheTargetFailsTheRun) {
#ifdef _WIN32
  GTEST_SKIP() << "needs SIGSTOP and SIGCONT";
#else
  for (bool kestrin : {true, false}) {
    SCOPED_TRACE(kestrin ? "kestrin" : "lortane");
    TempFolder folder;
    // kestrin writes 40 MB in all and is stopped after the first MiB.
    LongRun run = start_long_run(folder, kestrin, 1 << 16, 40000000);
    ASSERT_GT(run.pid, 0);
    kill(run.pid, SIGSTOP);
    const std::string target = folder.path + "/" + run.output;
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    write_file(target + "/inside", kEarlier);
    if (run.feed >= 0) close(run.feed);  // the end of lortane's text
    kill(run.pid, SIGCONT);
    int status = 0;
    waitpid(run.pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (kestrin ? 6 : 3));
    EXPECT_EQ(list_folder(target), Names({"inside"}));
    EXPECT_EQ(without(list_folder(folder.path), run.temp_prefix), list_folder(folder.path));
  }
#endif
}

// A standard descriptor that the caller closed would be the first one a run
// opens; it must never become the output, and the console text must never go
// into a file. The picture's path is longer than the console's buffer, so that
// kestrin's console text would be flushed while its temporary is open.
TEST(FaultDescriptors, ClosedStandardDescriptorsNeverBecomeTheOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX shell to close standard descriptors";
#else
  TempFolder folder;
  std::string dir;
  for (int i = 0; i < 12; ++i) dir += std::string(200, 'a' + i) + "/";
  ASSERT_EQ(run_shell("mkdir -p " + dir, folder.path).exit_status, 0);
  const std::string picture = dir + "pic.bmp";
  write_file(folder.path + "/" + picture, kPicture);
  write_file(folder.path + "/in.txt", "a\n");
  ASSERT_EQ(run_program(KESTRIN_PATH, {picture}, folder.path).exit_status, 0);
  ASSERT_EQ(run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path).exit_status, 0);
  const std::string header = read_file(folder.path + "/" + picture + ".h");
  const std::string source = read_file(folder.path + "/out.c");
  for (const char* closing : {"<&-", ">&-", "2>&-", "<&- >&-"}) {
    SCOPED_TRACE(closing);
    EXPECT_EQ(run_shell(shell_quote(KESTRIN_PATH) + " " + picture + " " + closing, folder.path)
                  .exit_status,
              0);
    EXPECT_EQ(read_file(folder.path + "/" + picture + ".h"), header);
    EXPECT_EQ(run_shell(shell_quote(LORTANE_PATH) + " v in.txt out.c " + closing, folder.path)
                  .exit_status,
              0);
    EXPECT_EQ(read_file(folder.path + "/out.c"), source);
  }
#endif
}

// The temporary's name is longer than the target's, but it is made and
// renamed relative to the target's folder: any target that can be named can
// be written, also in a folder whose path alone is within 15 bytes of
// PATH_MAX.
TEST(FaultLongPaths, TargetsNearThePathLimitAreWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "needs PATH_MAX and a POSIX shell (long paths are in the Windows tests)";
#else
  TempFolder folder;
  std::string dir;
  while (dir.size() < PATH_MAX - 14) {
    dir +=
        std::string(std::min<std::size_t>(240, PATH_MAX - 15 - dir.size()), 'a' + dir.size() % 26) +
        "/";
  }
  ASSERT_EQ(run_shell("mkdir -p " + dir, folder.path).exit_status, 0);
  // The test's own absolute paths would be too long: it works from the folder.
  write_file(folder.path + "/p.bmp", kPicture);
  write_file(folder.path + "/in.txt", "a\n");
  ASSERT_EQ(run_shell("mv p.bmp " + dir, folder.path).exit_status, 0);
  const ProgramResult k = run_program(KESTRIN_PATH, {dir + "p.bmp"}, folder.path);
  EXPECT_EQ(k.exit_status, 0) << k.output;
  const ProgramResult l = run_program(LORTANE_PATH, {"v", "in.txt", dir + "o.c"}, folder.path);
  EXPECT_EQ(l.exit_status, 0) << l.output;
  EXPECT_EQ(run_shell("ls -A " + dir, folder.path).output, "o.c\np.bmp\np.bmp.h\n");
#endif
}

}  // namespace
