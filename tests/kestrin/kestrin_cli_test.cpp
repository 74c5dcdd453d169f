// Runs the built kestrin in a fresh folder and compares everything it prints
// and writes.

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "support/line_ends.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

const std::string kBanner = "Kestrin Converter, Version 1.01 (24-bit BMP to GCube header)\n";
const std::string kUsage =
    "Args:  [-MP [0xFF00FF 0x000000]] <filename>\n"
    "Converts a BMP file to GCube format with optional 'Magic Pink' processing.\n"
    "'Magic Pink' is a quick and dirty type of transparency support.";

std::string dump(int width, int height, int image_size) {
  return "\tInfoHeader: header size=40, Width, Height=(" + std::to_string(width) + "," +
         std::to_string(height) + ")\n\tInfoHeader: planes=1, bits=24, compression=0, image size " +
         "(bytes)=" + std::to_string(image_size) + "\n";
}

ProgramResult kestrin(const TempFolder& folder, const std::vector<std::string>& args) {
  return run_program(KESTRIN_PATH, args, folder.path);
}

#ifndef _WIN32
std::string shell_quote(const std::string& s) { return "'" + s + "'"; }
#endif

// The 4 x 2 picture: bottom row white, white, black, black; top row red,
// black, blue, white.
const std::vector<std::vector<Rgb>> kWorkedRows = {{kWhite, kWhite, kBlack, kBlack},
                                                   {kRed, kBlack, kBlue, kWhite}};

const std::string kWorkedHeader =
    "/*\n * File  : pic.bmp\n * Width : 4\n * Height: 2\n*/\n"
    "#define PIC_WIDTH   (4)\n"
    "#define PIC_HEIGHT  (2)\n"
    "#define PIC_SIZE   (8)\n\n"
    "const u32 pic_Bitmap[2*4]={\n"
    "0x4C6A00BF, 0x1DBFFF75, \n"
    "0xFF80FF80, 0x00800080, \n"
    "};\n/* END OF FILE */\n";

TEST(KestrinCli, ConvertsTheWorkedExample) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", bmp_bytes(4, 2, kWorkedRows));
  const ProgramResult run = kestrin(folder, {"pic.bmp"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, kBanner + "Opening File: pic.bmp\n" + dump(4, 2, 24) +
                            "Output File: pic.bmp.h\nDone.\n");
  EXPECT_EQ(read_output_file(folder.path + "/pic.bmp.h"), kWorkedHeader);
  EXPECT_EQ(list_folder(folder.path), (std::vector<std::string>{"pic.bmp", "pic.bmp.h"}));
}

TEST(KestrinCli, WrongArgumentCountsShowUsage) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", bmp_bytes(4, 2, kWorkedRows));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"-MP", "0", "pic.bmp"}, {"-MP", "0", "0", "pic.bmp", "x"}}) {
    const ProgramResult run = kestrin(folder, args);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.output, kBanner + kUsage);
  }
  EXPECT_EQ(list_folder(folder.path), std::vector<std::string>{"pic.bmp"});
}

TEST(KestrinCli, ColourArgumentsScanLikePercentI) {
  struct Case {
    std::vector<std::string> args;
    std::string line;
  };
  const Case cases[] = {
      {{"xyz", "pic.bmp"}, "(255,0,255) -> (0,0,0)"},
      {{"-MP", "0x00FF00", "16", "pic.bmp"}, "(0,255,0) -> (0,0,16)"},
      {{"-MP", "077", "0", "pic.bmp"}, "(0,0,63) -> (0,0,0)"},
      {{"-MP", "0XFF00FFzz", " -1", "pic.bmp"}, "(255,0,255) -> (255,255,255)"},
      {{"-MP", "0x12345678", "099", "pic.bmp"}, "(52,86,120) -> (0,0,0)"},
      // Bits 24 and up fall away whatever the C library does with an int
      // that cannot hold the value; past 64 bits the value stops at the end.
      {{"-MP", "0x7F123456", "0xFF654321", "pic.bmp"}, "(18,52,86) -> (101,67,33)"},
      {{"-MP", "99999999999", "0x", "pic.bmp"}, "(118,231,255) -> (0,0,0)"},
      {{"-MP", "0x1FFFFFFFFFFFFFFFF", "-0x1FFFFFFFFFFFFFFFF", "pic.bmp"},
       "(255,255,255) -> (0,0,0)"},
  };
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", bmp_bytes(4, 2, kWorkedRows));
  for (const Case& c : cases) {
    const ProgramResult run = kestrin(folder, c.args);
    EXPECT_EQ(run.exit_status, 0) << c.line;
    EXPECT_EQ(run.output.substr(0, run.output.find("Opening")),
              kBanner + "Magic Pink conversion is on: " + c.line + ".\n");
  }
}

TEST(KestrinCli, ColourWithoutANumberShowsUsageBeforeOpening) {
  TempFolder folder;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-MP", "zz", "0", "missing.bmp"},
                                             {"-MP", "0", "", "missing.bmp"},
                                             {"-MP", " ", "0", "missing.bmp"}}) {
    const ProgramResult run = kestrin(folder, args);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.output, kBanner + kUsage);
  }
}

TEST(KestrinCli, MagicPinkRepaintsLoneKeyPixels) {
  TempFolder folder;
  // One row: (magenta, green), (magenta, magenta), (green, magenta).
  write_file(folder.path + "/mp.bmp",
             bmp_bytes(6, 1, {{kMagenta, kGreen, kMagenta, kMagenta, kGreen, kMagenta}}));
  const ProgramResult run = kestrin(folder, {"-MP", "mp.bmp"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(read_output_file(folder.path + "/mp.bmp.h")
                .find("={\n0x0055954A, 0x69D469EA, 0x9555004A, \n};"),
            std::string::npos);

  // Off, the same pairs keep their own colours.
  kestrin(folder, {"mp.bmp"});
  EXPECT_NE(read_output_file(folder.path + "/mp.bmp.h")
                .find("={\n0x697F957F, 0x69D469EA, 0x957F697F, \n};"),
            std::string::npos);
}

// Counts the words on each line of the array body.
std::vector<int> words_per_line(const std::string& header) {
  const std::size_t begin = header.find("={\n") + 3;
  const std::size_t end = header.find("};\n");
  std::vector<int> counts;
  int words = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (header.compare(i, 2, "0x") == 0) ++words;
    if (header[i] == '\n') {
      counts.push_back(words);
      words = 0;
    }
  }
  return counts;
}

TEST(KestrinCli, EightWordsALineAndEveryRowOnANewLine) {
  TempFolder folder;
  write_file(folder.path + "/w32.bmp", bmp_bytes(32, 2, noise_rows(32, 2)));
  write_file(folder.path + "/w18.bmp", bmp_bytes(18, 2, noise_rows(18, 2)));
  write_file(folder.path + "/w16.bmp", bmp_bytes(16, 1, noise_rows(16, 1)));
  ASSERT_EQ(kestrin(folder, {"w32.bmp"}).exit_status, 0);
  ASSERT_EQ(kestrin(folder, {"w18.bmp"}).exit_status, 0);
  ASSERT_EQ(kestrin(folder, {"w16.bmp"}).exit_status, 0);
  EXPECT_EQ(words_per_line(read_output_file(folder.path + "/w32.bmp.h")),
            (std::vector<int>{8, 8, 8, 8}));
  EXPECT_EQ(words_per_line(read_output_file(folder.path + "/w18.bmp.h")),
            (std::vector<int>{8, 1, 8, 1}));
  EXPECT_EQ(words_per_line(read_output_file(folder.path + "/w16.bmp.h")), (std::vector<int>{8}));
}

TEST(KestrinCli, RowFillIsSkippedWhateverItHolds) {
  TempFolder folder;
  const auto rows = noise_rows(6, 3);
  write_file(folder.path + "/zero.bmp", bmp_bytes(6, 3, rows, '\0'));
  // Fill bytes shaped like the key colour must not be read as pixels.
  write_file(folder.path + "/key.bmp", bmp_bytes(6, 3, rows, '\xff'));
  ASSERT_EQ(kestrin(folder, {"-MP", "zero.bmp"}).exit_status, 0);
  ASSERT_EQ(kestrin(folder, {"-MP", "key.bmp"}).exit_status, 0);
  const std::string zero = read_output_file(folder.path + "/zero.bmp.h");
  const std::string key = read_output_file(folder.path + "/key.bmp.h");
  EXPECT_EQ(zero.substr(zero.find("={")), key.substr(key.find("={")));
}

TEST(KestrinCli, EmptyPicturesGiveAnEmptyBody) {
  TempFolder folder;
  write_file(folder.path + "/z.bmp", bmp_bytes(0, 3, {}));
  ASSERT_EQ(kestrin(folder, {"z.bmp"}).exit_status, 0);
  EXPECT_EQ(read_output_file(folder.path + "/z.bmp.h"),
            "/*\n * File  : z.bmp\n * Width : 0\n * Height: 3\n*/\n#define Z_WIDTH   (0)\n"
            "#define Z_HEIGHT  (3)\n#define Z_SIZE   (0)\n\nconst u32 z_Bitmap[3*0]={\n\n\n\n};\n"
            "/* END OF FILE */\n");
}

struct FailureCase {
  std::string name;
  std::string bytes;
  int status;
  std::string output;  // after "Opening File: bad.bmp\n"
};

TEST(KestrinCli, RejectedFilesPrintOneMessageAndCreateNothing) {
  const std::string good = bmp_bytes(2, 1, {{kRed, kBlue}});
  std::string mb = good, odd = good, negative = good, huge = good.substr(0, 54), at_end = good,
              cut = good;
  mb[0] = 'M';
  mb[1] = 'B';
  put_u32(&odd, kBiWidth, 3);
  put_u32(&negative, kBiWidth, static_cast<std::uint32_t>(-4));
  put_u32(&huge, kBiWidth, 65536);
  put_u32(&huge, kBiHeight, 65536);
  put_u32(&at_end, kBfOffBits, static_cast<std::uint32_t>(good.size()));
  cut.resize(cut.size() - 3);  // 2 fill bytes and the last pixel byte
  const std::string dump21 = dump(2, 1, 8);
  const std::vector<FailureCase> cases = {
      {"empty", "", 3, "Can't read header: 0\n"},
      {"13 bytes", good.substr(0, 13), 3, "Can't read header: 0\n"},
      {"14 bytes", good.substr(0, 14), 4, "Can't read info header: 0\n"},
      {"53 bytes", good.substr(0, 53), 4, "Can't read info header: 0\n"},
      {"MB", mb, 3, "Header error: bad type (0x424d)\n"},
      {"odd width", odd, 4,
       dump(3, 1, 8) + "ERROR: Info Header error: width is not a multiple of "
                       "2 (0x3)\n"},
      {"negative width", negative, 4,
       dump(-4, 1, 8) + "ERROR: Info Header error: bad width (-4)\n"},
      {"huge claim", huge, 5, dump(65536, 65536, 8) + "Image read failed\n"},
      {"offset at end", at_end, 5, dump21 + "Image read failed\n"},
      {"cut in pixels", cut, 5, dump21 + "Image read failed\n"},
  };
  for (const FailureCase& c : cases) {
    TempFolder folder;
    write_file(folder.path + "/bad.bmp", c.bytes);
    const ProgramResult run = kestrin(folder, {"bad.bmp"});
    EXPECT_EQ(run.exit_status, c.status) << c.name;
    EXPECT_EQ(run.output, kBanner + "Opening File: bad.bmp\n" + c.output) << c.name;
    EXPECT_EQ(list_folder(folder.path), std::vector<std::string>{"bad.bmp"}) << c.name;
  }
}

TEST(KestrinCli, InputThatCannotBeOpened) {
  TempFolder folder;
  make_folder(folder.path + "/dir.bmp");
  for (const std::string& path : {std::string("missing.bmp"), std::string("dir.bmp")}) {
    const ProgramResult run = kestrin(folder, {"-MP", path});
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_EQ(run.output, kBanner + "Magic Pink conversion is on: (255,0,255) -> (0,0,0).\n" +
                              "Opening File: " + path + "\nCan't open: " + path + "\n");
  }
  EXPECT_EQ(list_folder(folder.path), std::vector<std::string>{"dir.bmp"});
}

TEST(KestrinCli, TopDownFilesGiveTheSameHeader) {
  TempFolder up, down;
  const auto rows = noise_rows(10, 3);
  write_file(up.path + "/pic.bmp", bmp_bytes(10, 3, rows));
  write_file(down.path + "/pic.bmp", bmp_bytes(10, -3, {rows[2], rows[1], rows[0]}));
  ASSERT_EQ(kestrin(up, {"pic.bmp"}).exit_status, 0);
  const ProgramResult run = kestrin(down, {"pic.bmp"});
  ASSERT_EQ(run.exit_status, 0);
  EXPECT_NE(run.output.find("Width, Height=(10,-3)"), std::string::npos);  // the header's own
  const std::string header = read_output_file(down.path + "/pic.bmp.h");
  EXPECT_NE(header.find(" * Height: 3\n"), std::string::npos);
  EXPECT_NE(header.find("#define PIC_HEIGHT  (3)\n#define PIC_SIZE   (30)\n"), std::string::npos);
  EXPECT_NE(header.find("pic_Bitmap[3*10]"), std::string::npos);
  EXPECT_EQ(header, read_output_file(up.path + "/pic.bmp.h"));
}

TEST(KestrinCli, AnyPathLengthAndFoldersKeptOutOfNames) {
  TempFolder folder;
  std::string dir = "art";
  for (int i = 0; i < 6; ++i) dir += "/" + std::string(60, static_cast<char>('a' + i));
  ASSERT_TRUE(make_folder(folder.path + "/" + dir));
  const std::string name = std::string(200, 'n') + ".bmp";
  const std::string path = dir + "/" + name;
  ASSERT_GT(path.size(), 512u);  // well past any fixed name buffer
  write_file(folder.path + "/" + path, bmp_bytes(4, 2, kWorkedRows));
  const ProgramResult run = kestrin(folder, {path});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.output.find("Output File: " + path + ".h\nDone.\n"), std::string::npos);
  const std::string header = read_output_file(folder.path + "/" + path + ".h");
  EXPECT_NE(header.find(" * File  : " + path + "\n"), std::string::npos);
  EXPECT_NE(header.find("#define " + std::string(200, 'N') + "_WIDTH   (4)\n"), std::string::npos);
  EXPECT_NE(header.find("const u32 " + std::string(200, 'n') + "_Bitmap[2*4]"), std::string::npos);
}

TEST(KestrinCli, NamesBecomeIdentifiersAndTheCommentStaysClosed) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows file name cannot hold '*'";
#else
  TempFolder folder;
  make_folder(folder.path + "/x");
  write_file(folder.path + "/x/*1-up.v2.bmp", bmp_bytes(4, 2, kWorkedRows));
  ASSERT_EQ(kestrin(folder, {"x/*1-up.v2.bmp"}).exit_status, 0);
  const std::string header = read_file(folder.path + "/x/*1-up.v2.bmp.h");
  EXPECT_EQ(header.substr(0, header.find("const")),
            "/*\n * File  : x/ *1-up.v2.bmp\n * Width : 4\n * Height: 2\n*/\n"
            "#define _1_UP_V2_WIDTH   (4)\n#define _1_UP_V2_HEIGHT  (2)\n"
            "#define _1_UP_V2_SIZE   (8)\n\n");
  EXPECT_NE(header.find("const u32 _1_up_Bitmap[2*4]={\n"), std::string::npos);
#endif
}

TEST(KestrinCli, OutputThatCannotBeCreatedFailsWithStatus6) {
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", bmp_bytes(4, 2, kWorkedRows));
  make_folder(folder.path + "/pic.bmp.h");  // the target is a folder
  const ProgramResult run = kestrin(folder, {"pic.bmp"});
  EXPECT_EQ(run.exit_status, 6);
  EXPECT_EQ(run.output, kBanner + "Opening File: pic.bmp\n" + dump(4, 2, 24) +
                            "ERROR: error opening file: pic.bmp.h\n");
  EXPECT_EQ(list_folder(folder.path), (std::vector<std::string>{"pic.bmp", "pic.bmp.h"}));
  EXPECT_EQ(list_folder(folder.path + "/pic.bmp.h"), std::vector<std::string>{});

  // A target name longer than a file system allows (256 characters) fails
  // before anything is reported as opened.
  const std::string name = std::string(250, 'n') + ".bmp";
  write_file(folder.path + "/" + name, bmp_bytes(4, 2, kWorkedRows));
  const ProgramResult too_long = kestrin(folder, {name});
  EXPECT_EQ(too_long.exit_status, 6);
  EXPECT_EQ(too_long.output, kBanner + "Opening File: " + name + "\n" + dump(4, 2, 24) +
                                 "ERROR: error opening file: " + name + ".h\n");
  EXPECT_EQ(list_folder(folder.path).size(), 3u);
}

TEST(KestrinCli, WriteErrorsFailWithStatus6AndKeepTheEarlierOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX shell's ulimit -f and SIGXFSZ";
#else
  TempFolder folder;
  write_file(folder.path + "/big.bmp", bmp_bytes(64, 64, noise_rows(64, 64)));
  // Past the file-size limit writes fail, whether or not the caller ignores
  // SIGXFSZ: the run reports the error instead of dying of the signal.
  for (const std::string& trap : {std::string("trap '' XFSZ && "), std::string()}) {
    write_file(folder.path + "/big.bmp.h", "earlier output\n");
    const ProgramResult run = run_shell(
        "ulimit -f 8 && " + trap + "exec " + shell_quote(KESTRIN_PATH) + " big.bmp", folder.path);
    EXPECT_EQ(run.exit_status, 6) << trap;
    EXPECT_EQ(run.output, kBanner + "Opening File: big.bmp\n" + dump(64, 64, 12288) +
                              "Output File: big.bmp.h\nERROR: error writing file: big.bmp.h\n");
    EXPECT_EQ(read_file(folder.path + "/big.bmp.h"), "earlier output\n");
    EXPECT_EQ(list_folder(folder.path), (std::vector<std::string>{"big.bmp", "big.bmp.h"}));
  }
#endif
}

TEST(KestrinCli, ReplacesThroughLinksAndKeepsPermissionBits) {
#ifdef _WIN32
  GTEST_SKIP() << "needs symbolic links, POSIX modes and the umask";
#else
  TempFolder folder;
  write_file(folder.path + "/pic.bmp", bmp_bytes(4, 2, kWorkedRows));
  mkdir((folder.path + "/real").c_str(), 0755);
  write_file(folder.path + "/real/out.h", "old");
  chmod((folder.path + "/real/out.h").c_str(), 0640);
  ASSERT_EQ(symlink("real/out.h", (folder.path + "/pic.bmp.h").c_str()), 0);
  ASSERT_EQ(kestrin(folder, {"pic.bmp"}).exit_status, 0);

  struct stat st;
  ASSERT_EQ(lstat((folder.path + "/pic.bmp.h").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_file(folder.path + "/real/out.h"), kWorkedHeader);
  ASSERT_EQ(stat((folder.path + "/real/out.h").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(list_folder(folder.path + "/real"), std::vector<std::string>{"out.h"});

  // A new output gets 0666 less the umask.
  write_file(folder.path + "/new.bmp", bmp_bytes(4, 2, kWorkedRows));
  ASSERT_EQ(run_shell("umask 027 && exec " + shell_quote(KESTRIN_PATH) + " new.bmp", folder.path)
                .exit_status,
            0);
  ASSERT_EQ(stat((folder.path + "/new.bmp.h").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
}

// Starts kestrin, waits until its temporary appears, then sends `signal_number`.
TEST(KestrinCli, InterruptedRunLeavesNoTemporaryAndTheEarlierOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "needs POSIX signals and fork (Ctrl-C is in the Windows tests)";
#else
  TempFolder folder;
  write_file(folder.path + "/big.bmp", bmp_bytes(2048, 1024, noise_rows(2048, 1024)));
  for (int signal_number : {SIGINT, SIGTERM}) {
    write_file(folder.path + "/big.bmp.h", "earlier output\n");
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(folder.path.c_str()) != 0) _exit(127);
      freopen("/dev/null", "w", stdout);
      execl(KESTRIN_PATH, KESTRIN_PATH, "big.bmp", static_cast<char*>(nullptr));
      _exit(127);
    }
    bool seen = false;
    for (int i = 0; i < 20000 && !seen; ++i) {
      for (const std::string& name : list_folder(folder.path)) seen |= name[0] == '.';
      if (!seen) usleep(100);
    }
    kill(pid, signal_number);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(seen) << "the run ended before its temporary was seen";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    EXPECT_EQ(read_file(folder.path + "/big.bmp.h"), "earlier output\n");
    EXPECT_EQ(list_folder(folder.path), (std::vector<std::string>{"big.bmp", "big.bmp.h"}));
  }
#endif
}

// A pipe cannot be read backwards, so a picture from one is held whole: one
// larger than memory fails cleanly. (Under the address sanitizer a lowered
// address-space limit breaks the sanitizer itself.)
TEST(KestrinCli, PictureFromAPipeTooLargeForMemoryFailsCleanly) {
#if defined(_WIN32)
  GTEST_SKIP() << "needs a FIFO and a POSIX shell's ulimit -v";
#elif defined(KL_SANITIZE)
  GTEST_SKIP() << "a lowered address-space limit breaks the sanitizers themselves";
#else
  TempFolder folder;
  std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}}).substr(0, 54);
  put_u32(&bmp, kBiWidth, 20000);
  put_u32(&bmp, kBiHeight, 20000);
  write_file(folder.path + "/head.bmp", bmp);
  ASSERT_EQ(mkfifo((folder.path + "/big.bmp").c_str(), 0644), 0);
  // An honest stream: 20000 rows of 60000 bytes follow the headers.
  const ProgramResult run = run_shell(
      "(cat head.bmp; head -c 1200000000 /dev/zero) > big.bmp 2>/dev/null & ulimit -v 1048576 && " +
          shell_quote(KESTRIN_PATH) + " big.bmp; status=$?; wait; exit $status",
      folder.path);
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(run.output, kBanner + "Opening File: big.bmp\n" + dump(20000, 20000, 8) +
                            "ERROR: not enough memory for the picture\n");
  EXPECT_EQ(list_folder(folder.path), (std::vector<std::string>{"big.bmp", "head.bmp"}));
#endif
}

}  // namespace
