// What only Windows has, run on both tools: CR LF line ends, read-only and
// locked targets, the many names of one file, drive letters, non-ASCII and
// long paths, console events, and the temporaries of runs that were killed.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "hostile/hostile_support.h"
#include "kestrin/bmp_bytes.h"
#include "support/line_ends.h"

namespace {

const std::string kEarlier = "/* an earlier output */\n";
const std::vector<std::vector<Rgb>> kRows = {{kRed, kBlack}, {kBlue, kWhite}};
const std::string kPicture = bmp_bytes(2, 2, kRows);
const std::string kUsage =
    "Args:  [-MP [0xFF00FF 0x000000]] <filename>\n"
    "Converts a BMP file to GCube format with optional 'Magic Pink' processing.\n"
    "'Magic Pink' is a quick and dirty type of transparency support.";

std::wstring wide(const std::string& utf8) { return std::filesystem::u8path(utf8).wstring(); }

std::string backslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string crlf(const std::string& text) {
  std::string bytes;
  for (char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return bytes;
}

std::string kestrin_done(const std::string& input) {
  return kestrin_progress(input) + "Output File: " + input + ".h\nDone.\n";
}

std::string lortane_progress(const std::string& in, const std::string& out) {
  return kLortaneBanner + "Opening Input File: " + in + "\nOpening Output File: " + out +
         "\nUsing variable name: v\n";
}

std::string lortane_source(const std::string& in, const Names& literals) {
  std::string text =
      "// This file automatically generated from: " + in + "\nconst char * v [] = {\n";
  for (const std::string& literal : literals) text += "\"" + literal + "\",\n";
  return text + "NULL\n};\n";
}

// A program started with its own console (so that console events can reach
// it) and standard output discarded; ended when it goes out of scope. It runs
// in this process's folder: the console's host may outlive it a moment, and
// a test folder it ran in could not be removed then.
struct Started {
  PROCESS_INFORMATION process{};

  Started(const std::string& program, const Names& args) {
    std::wstring command = L"\"" + wide(program) + L"\"";
    for (const std::string& arg : args) command += L" \"" + wide(arg) + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE null =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
    if (!CreateProcessW(wide(program).c_str(), &command[0], nullptr, nullptr, TRUE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process)) {
      process = PROCESS_INFORMATION{};
    }
    CloseHandle(null);
  }
  ~Started() {
    if (process.hProcess == nullptr) return;
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  bool running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

  // The exit code, or -1 while it still runs after `milliseconds`.
  long long wait(DWORD milliseconds) const {
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, milliseconds) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code)) {
      return -1;
    }
    return code;
  }
};

// Waits until a file in `folder` whose name starts with `prefix` holds at
// least `bytes`; false when the run ends first.
bool wait_for_temporary(const Started& run, const std::string& folder, const std::string& prefix,
                        std::uintmax_t bytes) {
  for (int i = 0; i < 20000 && run.running(); ++i) {
    for (const std::string& name : list_folder(folder)) {
      if (name.rfind(prefix, 0) != 0) continue;
      std::error_code error;
      const auto size =
          std::filesystem::file_size(std::filesystem::u8path(folder + "/" + name), error);
      if (!error && size >= bytes) return true;
    }
    Sleep(1);
  }
  return false;
}

// A picture of width 0 and 2^31 - 1 rows: gigabytes of empty lines from a
// 54-byte file, a run long enough to be interrupted.
std::string tall_picture() {
  std::string tall = kPicture.substr(0, 54);
  put_u32(&tall, kBiWidth, 0);
  put_u32(&tall, kBiHeight, 0x7FFFFFFF);
  return tall;
}

TEST(WindowsLineEnds, EveryLineWrittenEndsInCrLf) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", kPicture);
  const ProgramResult kestrin = run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path);
  EXPECT_EQ(kestrin.exit_status, 0);
  EXPECT_EQ(kestrin.raw_output, crlf(kestrin_done("pic.bmp")));
  EXPECT_EQ(read_file(folder.path + "/pic.bmp.h"),
            crlf(expected_header("pic.bmp", "PIC", "pic", 2, kRows)));
  // The usage ends without a line end, and so nothing follows its last line.
  EXPECT_EQ(run_program(KESTRIN_PATH, {}, folder.path).raw_output, crlf(kKestrinBanner + kUsage));

  // CR LF in the text is one line end; a lone CR and Ctrl-Z are text.
  write_file(folder.path + "/in.txt", "one\r\ntwo\rthree\x1a\n\nlast");
  const ProgramResult lortane = run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
  EXPECT_EQ(lortane.exit_status, 0);
  EXPECT_EQ(lortane.raw_output, crlf(lortane_progress("in.txt", "out.c")));
  EXPECT_EQ(read_file(folder.path + "/out.c"),
            crlf(lortane_source("in.txt", {"one", "two\\015three\\032", "", "last"})));
}

// The read-only attribute is the Windows form of a file that may not be
// written: the run fails as a plain open would, and the file stays as it was.
TEST(WindowsTargets, ReadOnlyTargetIsLeftAsItWas) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/in.txt", "a\n");
  for (const char* target : {"/pic.bmp.h", "/out.c"}) {
    write_file(folder.path + target, kEarlier);
    ASSERT_TRUE(SetFileAttributesW(wide(folder.path + target).c_str(), FILE_ATTRIBUTE_READONLY));
  }
  const Names before = list_folder(folder.path);

  const ProgramResult kestrin = run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path);
  EXPECT_EQ(kestrin.exit_status, 6);
  EXPECT_EQ(kestrin.output, kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n");
  const ProgramResult lortane = run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
  EXPECT_EQ(lortane.exit_status, 2);
  EXPECT_EQ(lortane.output, kLortaneBanner +
                                "Opening Input File: in.txt\nOpening Output File: out.c\n"
                                "Can't open: out.c\n");

  EXPECT_EQ(list_folder(folder.path), before);
  for (const char* target : {"/pic.bmp.h", "/out.c"}) {
    EXPECT_EQ(read_file(folder.path + target), kEarlier) << target;
    EXPECT_NE(GetFileAttributesW(wide(folder.path + target).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  }
}

// A named stream ("out.c:s") is refused too, leaving no file behind.
TEST(WindowsTargets, FoldersDevicesStreamsAndPathsThroughNoFolderCannotBeOpened) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  ASSERT_TRUE(make_folder(folder.path + "/folder.c"));
  for (const std::string out :
       {"folder.c", "NUL", "missing\\out.c", "in.txt\\out.c", "out.c:s", "in.txt:s"}) {
    SCOPED_TRACE(out);
    const ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", out}, folder.path);
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_EQ(run.output, kLortaneBanner + "Opening Input File: in.txt\nOpening Output File: " +
                              out + "\nCan't open: " + out + "\n");
    EXPECT_EQ(list_folder(folder.path), Names({"folder.c", "in.txt"}));
    EXPECT_EQ(list_folder(folder.path + "/folder.c"), Names());
  }
}

// Another program holds the target open without sharing (an editor, a
// virus scanner): the run waits for it about 300 ms, then fails.
TEST(WindowsTargets, LockedTargetFailsAndKeepsTheEarlierOutput) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/in.txt", "a\n");
  for (const bool kestrin : {true, false}) {
    SCOPED_TRACE(kestrin ? "kestrin" : "lortane");
    const std::string target = folder.path + (kestrin ? "/pic.bmp.h" : "/out.c");
    write_file(target, kEarlier);
    const Names before = list_folder(folder.path);
    const HANDLE lock = CreateFileW(wide(target).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const HANDLE again = CreateFileW(wide(target).c_str(), DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    if (again != INVALID_HANDLE_VALUE) {
      CloseHandle(again);
      CloseHandle(lock);
      GTEST_SKIP() << "this system does not enforce sharing modes";
    }
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult run =
        kestrin ? run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path)
                : run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
    const auto waited = std::chrono::steady_clock::now() - start;
    CloseHandle(lock);
    if (kestrin) {
      EXPECT_EQ(run.exit_status, 6);
      EXPECT_EQ(run.output, kestrin_progress("pic.bmp") + "ERROR: error opening file: pic.bmp.h\n");
    } else {
      EXPECT_EQ(run.exit_status, 2);
      EXPECT_EQ(run.output, kLortaneBanner +
                                "Opening Input File: in.txt\nOpening Output File: out.c\n"
                                "Can't open: out.c\n");
    }
    EXPECT_GE(waited, std::chrono::milliseconds(290));
    EXPECT_EQ(read_file(target), kEarlier);
    EXPECT_EQ(list_folder(folder.path), before);
  }
}

DWORD WINAPI close_after_100_ms(void* handle) {
  Sleep(100);
  CloseHandle(static_cast<HANDLE>(handle));
  return 0;
}

// Held for less than the run waits, the target is replaced.
TEST(WindowsTargets, TargetHeldForAMomentIsWaitedFor) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", kPicture);
  write_file(folder.path + "/pic.bmp.h", kEarlier);
  const HANDLE lock =
      CreateFileW(wide(folder.path + "/pic.bmp.h").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const HANDLE closer = CreateThread(nullptr, 0, close_after_100_ms, lock, 0, nullptr);
  ASSERT_NE(closer, nullptr);
  const ProgramResult run = run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path);
  WaitForSingleObject(closer, INFINITE);
  CloseHandle(closer);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, kestrin_done("pic.bmp"));
  EXPECT_EQ(read_output_file(folder.path + "/pic.bmp.h"),
            expected_header("pic.bmp", "PIC", "pic", 2, kRows));
  EXPECT_EQ(list_folder(folder.path), Names({"pic.bmp", "pic.bmp.h"}));
}

void expect_same_file_refused(const TempFolder& folder, const std::string& in,
                              const std::string& out) {
  SCOPED_TRACE(in + " as " + out);
  const std::string text = read_file(folder.path + "/" + in);
  const Names before = list_folder(folder.path);
  const ProgramResult run = run_program(LORTANE_PATH, {"v", in, out}, folder.path);
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.output, kLortaneBanner + "Opening Input File: " + in + "\nOpening Output File: " +
                            out + "\nERROR: input and output are the same file: " + in + "\n");
  EXPECT_EQ(read_file(folder.path + "/" + in), text);
  EXPECT_EQ(list_folder(folder.path), before);
}

// Names differ in case and separators, and relative and full forms mix.
TEST(WindowsSameFile, EverySpellingOfTheInputIsRefused) {
  TempFolder folder;
  write_file(folder.path + "/story.txt", "precious\r\ntext\n");
  ASSERT_TRUE(make_folder(folder.path + "/sub"));
  expect_same_file_refused(folder, "story.txt", "Story.TXT");
  expect_same_file_refused(folder, "story.txt", ".\\story.txt");
  expect_same_file_refused(folder, "story.txt", "sub\\..\\STORY.txt");
  expect_same_file_refused(folder, "story.txt", backslashes(folder.path) + "\\story.txt");
  expect_same_file_refused(folder, "story.txt", folder.path + "/story.txt");
}

TEST(WindowsSameFile, ShortNameOfTheInputIsRefused) {
  TempFolder folder;
  write_file(folder.path + "/a long story.txt", "precious\r\ntext\n");
  wchar_t short_path[MAX_PATH];
  ASSERT_GT(
      GetShortPathNameW(wide(folder.path + "\\a long story.txt").c_str(), short_path, MAX_PATH),
      0u);
  const std::string short_name = std::filesystem::path(short_path).filename().u8string();
  if (short_name == "a long story.txt") GTEST_SKIP() << "this volume keeps no 8.3 names";
  expect_same_file_refused(folder, "a long story.txt", short_name);
}

// The rename keeps the long name of a target given by its short one.
TEST(WindowsTargets, ShortNameOfTheTargetKeepsItsLongName) {
  TempFolder folder;
  write_file(folder.path + "/in.txt", "a\n");
  write_file(folder.path + "/a long output.c", kEarlier);
  wchar_t short_path[MAX_PATH];
  ASSERT_GT(
      GetShortPathNameW(wide(folder.path + "\\a long output.c").c_str(), short_path, MAX_PATH), 0u);
  const std::string short_name = std::filesystem::path(short_path).filename().u8string();
  if (short_name == "a long output.c") GTEST_SKIP() << "this volume keeps no 8.3 names";
  const ProgramResult run = run_program(LORTANE_PATH, {"v", "in.txt", short_name}, folder.path);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(list_folder(folder.path), (Names{"a long output.c", "in.txt"}));
  EXPECT_EQ(read_output_file(folder.path + "/a long output.c"), lortane_source("in.txt", {"a"}));
}

TEST(WindowsPaths, NonAsciiNamesArePrintedAndWrittenAsUtf8) {
  TempFolder folder;
  const std::string picture = "caf\xc3\xa9.bmp";
  write_file(folder.path + "/" + picture, kPicture);
  const ProgramResult kestrin = run_program(KESTRIN_PATH, {picture}, folder.path);
  EXPECT_EQ(kestrin.exit_status, 0);
  EXPECT_EQ(kestrin.output, kestrin_done(picture));
  EXPECT_EQ(read_output_file(folder.path + "/" + picture + ".h"),
            expected_header(picture, "CAF__", "caf__", 2, kRows));

  const std::string text = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // three kanji
  write_file(folder.path + "/" + text + ".txt", "a\n");
  const ProgramResult lortane =
      run_program(LORTANE_PATH, {"v", text + ".txt", text + ".c"}, folder.path);
  EXPECT_EQ(lortane.exit_status, 0);
  EXPECT_EQ(lortane.output, lortane_progress(text + ".txt", text + ".c"));
  EXPECT_EQ(read_output_file(folder.path + "/" + text + ".c"),
            lortane_source(text + ".txt", {"a"}));
  EXPECT_EQ(list_folder(folder.path), Names({picture, picture + ".h", text + ".c", text + ".txt"}));
}

// "C:\art\logo.bmp" and "C:logo.bmp" (drive C's current folder): the names
// in the header come from the file name alone.
TEST(WindowsPaths, DriveLetters) {
  TempFolder folder;
  ASSERT_EQ(folder.path[1], ':') << folder.path;
  ASSERT_TRUE(make_folder(folder.path + "/art"));
  write_file(folder.path + "/art/logo.bmp", kPicture);
  write_file(folder.path + "/logo.bmp", kPicture);
  for (const std::string& input :
       {backslashes(folder.path) + "\\art\\logo.bmp", folder.path.substr(0, 2) + "logo.bmp"}) {
    SCOPED_TRACE(input);
    const ProgramResult run = run_program(KESTRIN_PATH, {input}, folder.path);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output, kestrin_done(input));
  }
  for (const char* header : {"/art/logo.bmp.h", "/logo.bmp.h"}) {
    const std::string text = read_output_file(folder.path + header);
    EXPECT_EQ(
        text.substr(text.find("*/\n")),
        "*/\n#define LOGO_WIDTH   (2)\n#define LOGO_HEIGHT  (2)\n#define LOGO_SIZE   (4)\n"
        "\nconst u32 logo_Bitmap[2*2]={\n0x1DBFFF75, \n0x4C6A00BF, \n};\n/* END OF FILE */\n");
  }
  EXPECT_EQ(list_folder(folder.path), Names({"art", "logo.bmp", "logo.bmp.h"}));
}

// Full paths past MAX_PATH (260), given with backslashes.
TEST(WindowsPaths, PathsLongerThanMaxPath) {
  TempFolder folder;
  std::string deep = backslashes(folder.path);
  for (int i = 0; deep.size() < 300; ++i) {
    deep += "\\" + std::string(60, static_cast<char>('a' + i));
  }
  ASSERT_TRUE(make_folder(deep));
  write_file(deep + "\\pic.bmp", kPicture);
  write_file(deep + "\\in.txt", "a\n");
  const ProgramResult kestrin = run_program(KESTRIN_PATH, {deep + "\\pic.bmp"}, folder.path);
  EXPECT_EQ(kestrin.exit_status, 0);
  EXPECT_EQ(kestrin.output, kestrin_done(deep + "\\pic.bmp"));
  EXPECT_EQ(read_output_file(deep + "\\pic.bmp.h"),
            expected_header(deep + "\\pic.bmp", "PIC", "pic", 2, kRows));
  const ProgramResult lortane =
      run_program(LORTANE_PATH, {"v", deep + "\\in.txt", deep + "\\out.c"}, folder.path);
  EXPECT_EQ(lortane.exit_status, 0);
  EXPECT_EQ(lortane.output, lortane_progress(deep + "\\in.txt", deep + "\\out.c"));
  EXPECT_EQ(read_output_file(deep + "\\out.c"), lortane_source(deep + "\\in.txt", {"a"}));
  EXPECT_EQ(list_folder(deep), Names({"in.txt", "out.c", "pic.bmp", "pic.bmp.h"}));
}

BOOL WINAPI ignore_console_events(DWORD) { return TRUE; }

// Sends `event` to the console of `run`, as a key press in its window would.
// This process joins that console for the moment and lets the event pass.
// False, with the error, when the system does not send it.
bool send_console_event(const Started& run, DWORD event, DWORD* error) {
  SetConsoleCtrlHandler(ignore_console_events, TRUE);
  FreeConsole();
  const bool sent = AttachConsole(run.process.dwProcessId) && GenerateConsoleCtrlEvent(event, 0);
  *error = sent ? 0 : GetLastError();
  FreeConsole();
  return sent;
}

// Interrupts a run of either tool by `event` once it has its temporary: the
// run must end as Ctrl-C ends a program, without its temporary and with the
// earlier output as it was. False when the event could not be sent.
bool expect_event_removes_the_temporary(bool kestrin, DWORD event, DWORD* error) {
  SCOPED_TRACE(kestrin ? "kestrin" : "lortane");
  TempFolder folder;
  const std::string output = kestrin ? "pic.bmp.h" : "out.c";
  write_file(folder.path + "/" + output, kEarlier);
  // Lortane reads from a pipe that stays open, so it waits with its
  // temporary open.
  const std::string pipe_name =
      "\\\\.\\pipe\\kl-test-" + std::to_string(GetCurrentProcessId()) + "-" + output;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  if (kestrin) {
    write_file(folder.path + "/pic.bmp", tall_picture());
  } else {
    pipe = CreateNamedPipeW(wide(pipe_name).c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096,
                            4096, 0, nullptr);
    EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
  }
  const Started run(
      kestrin ? KESTRIN_PATH : LORTANE_PATH,
      kestrin ? Names{folder.path + "/pic.bmp"} : Names{"v", pipe_name, folder.path + "/out.c"});
  const std::string lines = "first line\nsecond";
  DWORD written = 0;
  const bool fed =
      kestrin ||
      ((ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) &&
       WriteFile(pipe, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr));
  const bool seen = fed && wait_for_temporary(run, folder.path,
                                              "." + output + (kestrin ? ".kestrin-" : ".lortane-"),
                                              kestrin ? 1 << 16 : 0);
  const bool sent = seen && send_console_event(run, event, error);
  const long long code = run.wait(sent ? 10000 : 0);
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
  EXPECT_TRUE(seen) << "the run ended before its temporary was seen";
  if (!seen || !sent) return !seen;
  EXPECT_EQ(code, static_cast<long long>(STATUS_CONTROL_C_EXIT));
  EXPECT_EQ(list_folder(folder.path), kestrin ? Names({"pic.bmp", "pic.bmp.h"}) : Names({"out.c"}));
  EXPECT_EQ(read_file(folder.path + "/" + output), kEarlier);
  return true;
}

TEST(WindowsInterrupted, CtrlCRemovesTheTemporary) {
  for (const bool kestrin : {true, false}) {
    DWORD error = 0;
    if (!expect_event_removes_the_temporary(kestrin, CTRL_C_EVENT, &error)) {
      GTEST_SKIP() << "Ctrl-C cannot be sent to a console here (error " << error << ")";
    }
  }
}

TEST(WindowsInterrupted, CtrlBreakRemovesTheTemporary) {
  for (const bool kestrin : {true, false}) {
    DWORD error = 0;
    if (!expect_event_removes_the_temporary(kestrin, CTRL_BREAK_EVENT, &error)) {
      GTEST_SKIP() << "Ctrl-Break cannot be sent to a console here (error " << error
                   << "; Wine 8 sends only Ctrl-C)";
    }
  }
}

// A run ended outright (from the task manager, TerminateProcess) leaves its
// temporary; the next run for the same target removes it, but neither the
// one a live run holds open nor another target's.
TEST(WindowsInterrupted, LeftoversOfKilledRunsAreRemovedByTheNextRun) {
  for (const bool kestrin : {true, false}) {
    SCOPED_TRACE(kestrin ? "kestrin" : "lortane");
    TempFolder folder;
    const std::string tag = kestrin ? ".kestrin-" : ".lortane-";
    const std::string prefix = kestrin ? ".pic.bmp.h" + tag : ".out.c" + tag;
    if (kestrin) {
      write_file(folder.path + "/pic.bmp", tall_picture());
      const Started killed(KESTRIN_PATH, {folder.path + "/pic.bmp"});
      ASSERT_TRUE(wait_for_temporary(killed, folder.path, prefix, 0));
      TerminateProcess(killed.process.hProcess, 1);
      ASSERT_EQ(killed.wait(10000), 1);
      ASSERT_EQ(list_folder(folder.path).size(), 2u) << "TerminateProcess left no temporary";
    } else {
      write_file(folder.path + "/" + prefix + "00", "left behind");
    }
    // The killed run had the first slot; a live run has the next, and one
    // killed earlier left a temporary past a free slot.
    const std::string live = folder.path + "/" + prefix + "01";
    const std::string other = folder.path + "/.other.h" + tag + "00";
    write_file(live, "being written");
    write_file(folder.path + "/" + prefix + "03", "left behind");
    write_file(other, "another target's");
    // A live run's temporary is open without delete sharing.
    const HANDLE held =
        CreateFileW(wide(live).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    write_file(folder.path + (kestrin ? "/pic.bmp" : "/in.txt"), kestrin ? kPicture : "a\n");
    const ProgramResult run =
        kestrin ? run_program(KESTRIN_PATH, {"pic.bmp"}, folder.path)
                : run_program(LORTANE_PATH, {"v", "in.txt", "out.c"}, folder.path);
    CloseHandle(held);
    EXPECT_EQ(run.exit_status, 0) << run.output;
    EXPECT_EQ(list_folder(folder.path),
              kestrin ? Names({".other.h" + tag + "00", prefix + "01", "pic.bmp", "pic.bmp.h"})
                      : Names({".other.h" + tag + "00", prefix + "01", "in.txt", "out.c"}));
  }
}

}  // namespace
