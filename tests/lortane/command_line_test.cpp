// Runs the built program in a fresh folder and checks every byte it prints and writes.

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/line_ends.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using Names = std::vector<std::string>;

const std::string kBanner = "Lortane Converter, Version 1.00 (text file to C string array)\n";
const std::string kUsage =
    "Args:  <variable_name> <in_filename> <out_filename>\n"
    "Converts an ASCII file to an array of strings.\n"
    "This is intended as a compile time step to include a file in a binary,\n"
    "executable and not have to read it from disk at run-time.\n";

ProgramResult lortane(const TempFolder& folder, const Names& args) {
  return run_program(LORTANE_PATH, args, folder.path);
}

// What a run prints up to and including the line naming the variable.
std::string progress(const std::string& in, const std::string& out, const std::string& name) {
  return kBanner + "Opening Input File: " + in + "\nOpening Output File: " + out +
         "\nUsing variable name: " + name + "\n";
}

std::string source(const std::string& in, const std::string& name, const Names& literals) {
  std::string text =
      "// This file automatically generated from: " + in + "\nconst char * " + name + " [] = {\n";
  for (const std::string& literal : literals) text += "\"" + literal + "\",\n";
  return text + "NULL\n};\n";
}

#ifndef _WIN32
mode_t mode_of(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string link_target(const std::string& path) {
  char buffer[4096];
  ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
  return length < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(length));
}
#endif

std::string repeat(const std::string& text, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

struct TextCase {
  const char* what;
  std::string input;
  Names literals;
};

TEST(LortaneCommandLine, TextBecomesOneLiteralPerPiece) {
  const TextCase cases[] = {
      {"empty input", "", {}},
      {"empty line", "a\n\nb\n", {"a", "", "b"}},
      {"last line without line end", "a\nb", {"a", "b"}},
      {"percent signs", "100% %s %d %n\n", {"100% %s %d %n"}},
      {"quotes and backslashes", "say \"hi\" C:\\dir\\\n", {"say \\\"hi\\\" C:\\\\dir\\\\"}},
      {"trigraphs", "?\?= ?\?/ ?\?' ?\?\?\n", {"?\\?= ?\\?/ ?\\?' ?\\?\\?"}},
      {"control bytes",
       "a\x1b[1mb\x7f\x01"
       "7\tc\n",
       {"a\\033[1mb\\177\\0017\tc"}},
      {"zero byte", std::string("ab\0cd\n", 6), {"ab\\000cd"}},
      {"CR LF line ends", "one\r\ntwo\r\n", {"one", "two"}},
      {"lone CR and Ctrl-Z",
       "a\rb\x1a"
       "c\nd\x1a",
       {"a\\015b\\032c", "d\\032"}},
      {"CR as the last byte", "end\r", {"end\\015"}},
      {"UTF-8", "caf\xc3\xa9 \xe2\x82\xac\n", {"caf\xc3\xa9 \xe2\x82\xac"}},
      {"invalid UTF-8",
       "bad \xff \xc0\xaf \xed\xa0\x80 \xe2\x82\n",
       {"bad \\377 \\300\\257 \\355\\240\\200 \\342\\202"}},
      {"1022 characters", std::string(1022, 'x') + "\n", {std::string(1022, 'x')}},
      {"1023 characters", std::string(1023, 'x') + "\r\n", {std::string(1023, 'x'), ""}},
      {"1500 characters",
       std::string(1500, 'x') + "\n",
       {std::string(1023, 'x'), std::string(477, 'x')}},
      {"2046 characters",
       std::string(2046, 'x') + "\n",
       {std::string(1023, 'x'), std::string(1023, 'x'), ""}},
      {"escapes do not count", std::string(1023, '"') + "\n", {repeat("\\\"", 1023), ""}},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    write_file(folder.path + "/in.txt", c.input);
    ProgramResult result = lortane(folder, {"lines", "in.txt", "out.c"});
    EXPECT_EQ(result.output, progress("in.txt", "out.c", "lines"));
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(read_output_file(folder.path + "/out.c"), source("in.txt", "lines", c.literals));
    EXPECT_EQ(list_folder(folder.path), Names({"in.txt", "out.c"}));
  }
}

TEST(LortaneCommandLine, NamesAreWrittenAsTyped) {
  TempFolder folder;
  make_folder(folder.path + "/sub");
  write_file(folder.path + "/in.txt", "x\n");
  ProgramResult result = lortane(folder, {"ns::table", "./sub/../in.txt", "sub/out.cpp"});
  EXPECT_EQ(result.output, progress("./sub/../in.txt", "sub/out.cpp", "ns::table"));
  EXPECT_EQ(read_output_file(folder.path + "/sub/out.cpp"),
            source("./sub/../in.txt", "ns::table", {"x"}));
}

TEST(LortaneCommandLine, WrongArgumentCountPrintsUsage) {
  for (const Names& args :
       {Names{}, Names{"v"}, Names{"v", "in.txt"}, Names{"v", "in.txt", "o", "x"}}) {
    SCOPED_TRACE(args.size());
    TempFolder folder;
    write_file(folder.path + "/in.txt", "a\n");
    ProgramResult result = lortane(folder, args);
    EXPECT_EQ(result.output, kBanner + kUsage);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(list_folder(folder.path), Names({"in.txt"}));
  }
}

TEST(LortaneCommandLine, AnEarlierOutputIsReplacedWhole) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "new\n");
  write_file(folder.path + "/out.c", std::string(5000, 'o'));
  EXPECT_EQ(lortane(folder, {"v", "in.txt", "out.c"}).exit_status, 0);
  EXPECT_EQ(read_output_file(folder.path + "/out.c"), source("in.txt", "v", {"new"}));
}

TEST(LortaneSameFile, EveryNameOfTheInputIsRefused) {
  struct Case {
    std::string in, out;
  };
  std::vector<Case> cases = {{"in.txt", "in.txt"},
                             {"in.txt", "./in.txt"},
                             {"in.txt", "sub/../in.txt"},
                             {"in.txt", "hard.txt"}};
#ifndef _WIN32  // symbolic links need a privilege on Windows
  cases.insert(cases.end(),
               {{"in.txt", "link.txt"}, {"link.txt", "in.txt"}, {"in.txt", "chain.txt"}});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    TempFolder folder;
    const std::string text = "precious\r\ntext\n";
    write_file(folder.path + "/in.txt", text);
    make_folder(folder.path + "/sub");
    ASSERT_TRUE(make_hard_link(folder.path + "/in.txt", folder.path + "/hard.txt"));
#ifndef _WIN32
    ASSERT_EQ(symlink("in.txt", (folder.path + "/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("link.txt", (folder.path + "/chain.txt").c_str()), 0);
#endif
    Names before = list_folder(folder.path);
    ProgramResult result = lortane(folder, {"v", c.in, c.out});
    EXPECT_EQ(result.output, kBanner + "Opening Input File: " + c.in +
                                 "\nOpening Output File: " + c.out +
                                 "\nERROR: input and output are the same file: " + c.in + "\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(read_file(folder.path + "/in.txt"), text);
    EXPECT_EQ(list_folder(folder.path), before);
#ifndef _WIN32
    EXPECT_TRUE(S_ISLNK(mode_of(folder.path + "/link.txt")));
#endif
  }
}

TEST(LortaneOpenErrors, InputThatCannotBeOpened) {
  for (std::string in : {"missing.txt", "sub", "."}) {
    SCOPED_TRACE(in);
    TempFolder folder;
    make_folder(folder.path + "/sub");
    ProgramResult result = lortane(folder, {"v", in, "out.c"});
    EXPECT_EQ(result.output, kBanner + "Opening Input File: " + in + "\nCan't open: " + in + "\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(list_folder(folder.path), Names({"sub"}));
  }
}

TEST(LortaneOpenErrors, TargetNameLongerThanTheFileSystemAllows) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  const std::string out = std::string(254, 'n') + ".c";
  ProgramResult result = lortane(folder, {"v", "in.txt", out});
  EXPECT_EQ(result.output, kBanner + "Opening Input File: in.txt\nOpening Output File: " + out +
                               "\nCan't open: " + out + "\n");
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(list_folder(folder.path), Names({"in.txt"}));
}

TEST(LortaneOpenErrors, TargetThatIsNotARegularFile) {
#ifdef _WIN32
  GTEST_SKIP()
      << "needs FIFOs and symbolic links (folder and device targets are in the Windows tests)";
#else
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  mkdir((folder.path + "/folder.c").c_str(), 0755);
  ASSERT_EQ(mkfifo((folder.path + "/fifo.c").c_str(), 0644), 0);
  ASSERT_EQ(symlink("fifo.c", (folder.path + "/to_fifo.c").c_str()), 0);
  for (std::string out : {"folder.c", "fifo.c", "to_fifo.c"}) {
    SCOPED_TRACE(out);
    ProgramResult result = lortane(folder, {"v", "in.txt", out});
    EXPECT_EQ(result.output, kBanner + "Opening Input File: in.txt\nOpening Output File: " + out +
                                 "\nCan't open: " + out + "\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(list_folder(folder.path), Names({"fifo.c", "folder.c", "in.txt", "to_fifo.c"}));
    EXPECT_TRUE(S_ISDIR(mode_of(folder.path + "/folder.c")));
    EXPECT_TRUE(list_folder(folder.path + "/folder.c").empty());
    EXPECT_TRUE(S_ISFIFO(mode_of(folder.path + "/fifo.c")));
  }
#endif
}

// Root may write anywhere, so the run drops to the user nobody where it can.
TEST(LortaneOpenErrors, TargetThatCannotBeWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "needs POSIX modes and setpriv (a read-only target is in the Windows tests)";
#else
  TempFolder folder;
  std::string prefix;
  if (geteuid() == 0) {
    if (run_shell("command -v setpriv", folder.path).exit_status != 0) {
      GTEST_SKIP() << "running as root without setpriv";
    }
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  // Open to all, so only the target itself can stand in the way.
  chmod(folder.path.c_str(), 0777);
  // A copy, so that the other user can run it wherever the build lies.
  write_file(folder.path + "/lortane", read_file(LORTANE_PATH));
  chmod((folder.path + "/lortane").c_str(), 0755);
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/locked.c", "old\n");
  chmod((folder.path + "/locked.c").c_str(), 0444);
  mkdir((folder.path + "/closed").c_str(), 0555);

  for (std::string out : {"locked.c", "closed/new.c"}) {
    SCOPED_TRACE(out);
    ProgramResult result = run_shell(prefix + "./lortane v in.txt " + out, folder.path);
    EXPECT_EQ(result.output, kBanner + "Opening Input File: in.txt\nOpening Output File: " + out +
                                 "\nCan't open: " + out + "\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(read_file(folder.path + "/locked.c"), "old\n");
    EXPECT_EQ(list_folder(folder.path), Names({"closed", "in.txt", "locked.c", "lortane"}));
    EXPECT_TRUE(list_folder(folder.path + "/closed").empty());
  }
#endif
}

TEST(LortaneFailures, ReadErrorKeepsTheEarlierOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /proc/self/mem, a file that opens but cannot be read";
#else
  TempFolder folder;
  write_file(folder.path + "/out.c", "old\n");
  ProgramResult result = lortane(folder, {"v", "/proc/self/mem", "out.c"});
  EXPECT_EQ(result.output, progress("/proc/self/mem", "out.c", "v") +
                               "ERROR: error reading file: /proc/self/mem\n");
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(read_file(folder.path + "/out.c"), "old\n");
  EXPECT_EQ(list_folder(folder.path), Names({"out.c"}));
#endif
}

// The file size limit makes every write past a few kilobytes fail.
TEST(LortaneFailures, WriteErrorKeepsTheEarlierOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX shell's ulimit -f";
#else
  for (bool earlier : {true, false}) {
    SCOPED_TRACE(earlier);
    TempFolder folder;
    write_file(folder.path + "/in.txt", std::string(1 << 20, 'x'));
    if (earlier) write_file(folder.path + "/out.c", "old\n");
    ProgramResult result = run_shell(
        std::string("ulimit -f 8 && exec ") + LORTANE_PATH + " v in.txt out.c", folder.path);
    EXPECT_EQ(result.output,
              progress("in.txt", "out.c", "v") + "ERROR: error writing file: out.c\n");
    EXPECT_EQ(result.exit_status, 3);
    EXPECT_EQ(list_folder(folder.path), earlier ? Names({"in.txt", "out.c"}) : Names({"in.txt"}));
    if (earlier) {
      EXPECT_EQ(read_file(folder.path + "/out.c"), "old\n");
    }
  }
#endif
}

// The input is a FIFO that is never closed, so the run waits with its temporary
// file open until the signal comes.
TEST(LortaneFailures, InterruptedRunLeavesNoTemporary) {
#ifdef _WIN32
  GTEST_SKIP() << "needs FIFOs, fork and POSIX signals (Ctrl-C is in the Windows tests)";
#else
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    TempFolder folder;
    write_file(folder.path + "/out.c", "old\n");
    std::string fifo = folder.path + "/in.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int writer = open(fifo.c_str(), O_RDWR);  // keeps the FIFO open without waiting
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "first line\nsecond", 17), 17);

    int out_pipe[2];
    ASSERT_EQ(pipe(out_pipe), 0);
    pid_t pid = fork();
    if (pid == 0) {
      for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
      dup2(out_pipe[1], 1);
      close(out_pipe[0]);
      close(writer);
      if (chdir(folder.path.c_str()) != 0) _exit(127);
      execl(LORTANE_PATH, LORTANE_PATH, "v", "in.fifo", "out.c", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out_pipe[1]);
    std::string output;
    char chunk[256];
    ssize_t n;
    while (output.find("Using variable name") == std::string::npos &&
           (n = read(out_pipe[0], chunk, sizeof chunk)) > 0) {
      output.append(chunk, static_cast<std::size_t>(n));
    }
    ASSERT_EQ(output, progress("in.fifo", "out.c", "v"));
    Names during = list_folder(folder.path);
    ASSERT_EQ(during.size(), 3u);
    EXPECT_EQ(during[0].rfind(".out.c.lortane-", 0), 0u);

    kill(pid, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(out_pipe[0]);
    close(writer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    EXPECT_EQ(list_folder(folder.path), Names({"in.fifo", "out.c"}));
    EXPECT_EQ(read_file(folder.path + "/out.c"), "old\n");
  }
#endif
}

TEST(LortaneOutputFile, SymbolicLinksStayLinks) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  mkdir((folder.path + "/sub").c_str(), 0755);
  write_file(folder.path + "/sub/real.c", "old\n");
  ASSERT_EQ(symlink("sub/real.c", (folder.path + "/link.c").c_str()), 0);
  ASSERT_EQ(symlink("link.c", (folder.path + "/chain.c").c_str()), 0);
  ASSERT_EQ(symlink((folder.path + "/sub/new.c").c_str(), (folder.path + "/dangling.c").c_str()),
            0);

  for (std::string out : {"link.c", "chain.c", "dangling.c"}) {
    SCOPED_TRACE(out);
    ProgramResult result = lortane(folder, {"v", "in.txt", out});
    EXPECT_EQ(result.output, progress("in.txt", out, "v"));
    EXPECT_EQ(result.exit_status, 0);
  }
  EXPECT_EQ(link_target(folder.path + "/link.c"), "sub/real.c");
  EXPECT_EQ(link_target(folder.path + "/chain.c"), "link.c");
  EXPECT_EQ(link_target(folder.path + "/dangling.c"), folder.path + "/sub/new.c");
  EXPECT_EQ(read_file(folder.path + "/sub/real.c"), source("in.txt", "v", {"a"}));
  EXPECT_EQ(read_file(folder.path + "/sub/new.c"), source("in.txt", "v", {"a"}));
  EXPECT_EQ(list_folder(folder.path + "/sub"), Names({"new.c", "real.c"}));
  EXPECT_EQ(list_folder(folder.path), Names({"chain.c", "dangling.c", "in.txt", "link.c", "sub"}));
#endif
}

TEST(LortaneOutputFile, PermissionBitsAreKept) {
#ifdef _WIN32
  GTEST_SKIP() << "needs POSIX modes and the umask";
#else
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/kept.c", "old\n");
  chmod((folder.path + "/kept.c").c_str(), 0604);
  EXPECT_EQ(lortane(folder, {"v", "in.txt", "kept.c"}).exit_status, 0);
  EXPECT_EQ(mode_of(folder.path + "/kept.c") & 07777, 0604u);
  EXPECT_EQ(read_file(folder.path + "/kept.c"), source("in.txt", "v", {"a"}));

  // A new file gets what the umask leaves, as with a plain create.
  ProgramResult result =
      run_shell(std::string("umask 027 && exec ") + LORTANE_PATH + " v in.txt new.c", folder.path);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(mode_of(folder.path + "/new.c") & 07777, 0640u);
#endif
}

}  // namespace
