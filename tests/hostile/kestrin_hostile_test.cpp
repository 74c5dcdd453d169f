// Kestrin on damaged and absurd pictures: each run ends with its message and
// status, an earlier header stays byte for byte as it was, and nothing else
// appears; pictures that still hold their pixels convert exactly.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hostile_support.h"
#include "kestrin/bmp_bytes.h"
#include "support/line_ends.h"

namespace {

const std::string kEarlier = "/* an earlier header */\n";
const std::string kMagicPinkOn = "Magic Pink conversion is on: (255,0,255) -> (0,0,0).\n";

// A 2 x 2 picture of 70 bytes: bottom row red, black; top row blue, white;
// each row followed by two fill bytes.
const std::string kGood = bmp_bytes(2, 2, {{kRed, kBlack}, {kBlue, kWhite}});
const std::string kGoodHeader =
    "/*\n * File  : pic.bmp\n * Width : 2\n * Height: 2\n*/\n"
    "#define PIC_WIDTH   (2)\n#define PIC_HEIGHT  (2)\n#define PIC_SIZE   (4)\n\n"
    "const u32 pic_Bitmap[2*2]={\n0x1DBFFF75, \n0x4C6A00BF, \n};\n/* END OF FILE */\n";

std::uint32_t u32_at(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

int s32_at(const std::string& b, std::size_t at) {
  return static_cast<int>(static_cast<std::int32_t>(u32_at(b, at)));
}

// The two dump lines of the info header in `bmp`, 32-bit fields as signed.
std::string dump_of(const std::string& bmp) {
  char text[256];
  std::snprintf(text, sizeof text,
                "\tInfoHeader: header size=%d, Width, Height=(%d,%d)\n"
                "\tInfoHeader: planes=%u, bits=%u, compression=%d, image size (bytes)=%d\n",
                s32_at(bmp, kBiSize), s32_at(bmp, kBiWidth), s32_at(bmp, kBiHeight),
                u32_at(bmp, kBiPlanes) & 0xFFFF, u32_at(bmp, kBiBitCount) & 0xFFFF,
                s32_at(bmp, kBiCompression), s32_at(bmp, kBiSizeImage));
  return text;
}

std::string with_u32(std::string bmp, std::size_t at, std::uint32_t value) {
  put_u32(&bmp, at, value);
  return bmp;
}

std::string with_u16(std::string bmp, std::size_t at, std::uint16_t value) {
  put_u16(&bmp, at, value);
  return bmp;
}

struct Rejected {
  std::string what;
  std::string bytes;
  int status;
  std::string message;  // the line after the dump, or the whole output when there is no dump
  bool dumped;
};

// Runs kestrin on `bytes` as pic.bmp next to an earlier pic.bmp.h.
ProgramResult convert(const TempFolder& folder, const std::string& bytes,
                      const Names& options = {}) {
  write_file(folder.path + "/pic.bmp", bytes);
  write_file(folder.path + "/pic.bmp.h", kEarlier);
  Names args = options;
  args.push_back("pic.bmp");
  return run_program(KESTRIN_PATH, args, folder.path);
}

void expect_rejected(const Rejected& c) {
  SCOPED_TRACE(c.what);
  TempFolder folder;
  const ProgramResult run = convert(folder, c.bytes);
  EXPECT_EQ(run.exit_status, c.status);
  EXPECT_EQ(run.output, kKestrinBanner + "Opening File: pic.bmp\n" +
                            (c.dumped ? dump_of(c.bytes) : "") + c.message);
  EXPECT_EQ(read_file(folder.path + "/pic.bmp.h"), kEarlier);
  EXPECT_EQ(read_file(folder.path + "/pic.bmp"), c.bytes);
  EXPECT_EQ(list_folder(folder.path), Names({"pic.bmp", "pic.bmp.h"}));
}

TEST(KestrinHostile, ShortFilesEndAtTheHeaderTheyCut) {
  const std::string no_header = "Can't read header: 0\n";
  const std::string no_info = "Can't read info header: 0\n";
  const std::string no_pixels = "Image read failed\n";
  const Rejected cases[] = {
      {"empty", "", 3, no_header, false},
      {"1 byte", kGood.substr(0, 1), 3, no_header, false},
      {"13 bytes", kGood.substr(0, 13), 3, no_header, false},
      {"14 bytes", kGood.substr(0, 14), 4, no_info, false},
      {"53 bytes", kGood.substr(0, 53), 4, no_info, false},
      {"54 bytes", kGood.substr(0, 54), 5, no_pixels, true},
      {"cut after the last pixel's first byte", kGood.substr(0, 66), 5, no_pixels, true},
      {"cut before the last pixel's last byte", kGood.substr(0, 67), 5, no_pixels, true},
  };
  for (const Rejected& c : cases) expect_rejected(c);
}

TEST(KestrinHostile, RejectedHeaderFieldsNameTheirValue) {
  const std::string e = "ERROR: Info Header error: ";
  std::string mb = kGood;
  mb[0] = 'M';
  mb[1] = 'B';
  std::vector<Rejected> cases = {
      {"type MB", mb, 3, "Header error: bad type (0x424d)\n", false},
  };
  for (std::uint32_t size : {0u, 12u, 39u, 41u, 108u, 124u}) {
    cases.push_back({"biSize " + std::to_string(size), with_u32(kGood, kBiSize, size), 4,
                     e + "bad header size (0x" + std::to_string(size) + ")\n", true});
  }
  cases.push_back({"biSize 0xFFFFFFFF", with_u32(kGood, kBiSize, 0xFFFFFFFF), 4,
                   e + "bad header size (0x-1)\n", true});
  for (std::uint16_t bits : {0, 1, 8, 16, 32, 0xFFFF}) {
    cases.push_back({"bits " + std::to_string(bits), with_u16(kGood, kBiBitCount, bits), 4,
                     e + "only 24 bit color depth supported (" + std::to_string(bits) + ")\n",
                     true});
  }
  cases.push_back({"compression 1", with_u32(kGood, kBiCompression, 1), 4,
                   e + "compression not supported (0x1)\n", true});
  cases.push_back({"compression 3", with_u32(kGood, kBiCompression, 3), 4,
                   e + "compression not supported (0x3)\n", true});
  cases.push_back({"compression 0xFFFFFFFF", with_u32(kGood, kBiCompression, 0xFFFFFFFF), 4,
                   e + "compression not supported (0x-1)\n", true});
  cases.push_back({"biClrUsed 0xFFFFFFFF", with_u32(kGood, kBiClrUsed, 0xFFFFFFFF), 4,
                   e + "indexed colors not supported (-1)\n", true});
  cases.push_back(
      {"planes 0", with_u16(kGood, kBiPlanes, 0), 4, e + "only one plane supported (0)\n", true});
  cases.push_back(
      {"planes 2", with_u16(kGood, kBiPlanes, 2), 4, e + "only one plane supported (2)\n", true});
  for (const Rejected& c : cases) expect_rejected(c);
}

// Sizes whose 32-bit products overflow, and offsets at or past the end.
TEST(KestrinHostile, ImpossibleSizesAndOffsetsFailWithoutReading) {
  const std::string fails = "Image read failed\n";
  // 54 header bytes and four pixel bytes, claiming one row of 2^31 or
  // 0x55555556 pixels (3 * 0x55555556 wraps to 2 in 32 bits).
  const std::string one_row = with_u32(kGood.substr(0, 58), kBiHeight, 1);
  std::vector<Rejected> cases = {
      {"width 0x80000000", with_u32(one_row, kBiWidth, 0x80000000), 4,
       "ERROR: Info Header error: bad width (-2147483648)\n", true},
      {"width 0x55555556", with_u32(one_row, kBiWidth, 0x55555556), 5, fails, true},
      {"height 0x80000000", with_u32(kGood, kBiHeight, 0x80000000), 5, fails, true},
  };
  for (std::uint32_t offset : {70u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    cases.push_back({"bfOffBits " + std::to_string(offset), with_u32(kGood, kBfOffBits, offset), 5,
                     fails, true});
  }
  for (const Rejected& c : cases) expect_rejected(c);
}

// Claims of 65536 x 65536 and 20000 x 20000 pixels in a 54-byte file, or a
// 54-byte stream, fail before any large allocation: shown by a memory limit far below the claim and
// a CPU limit of a second (the sanitizers need more address space, so there the limits are left
// out).
TEST(KestrinHostile, HugeClaimsInATinyFileAllocateNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a POSIX shell's ulimit and /dev/stdin";
#else
#ifdef KL_SANITIZE
  const std::string limits = "";
#else
  const std::string limits = "ulimit -v 65536 && ulimit -t 1";
#endif
  for (std::uint32_t side : {65536u, 20000u}) {
    SCOPED_TRACE(side);
    TempFolder folder;
    const std::string bmp =
        with_u32(with_u32(kGood.substr(0, 54), kBiWidth, side), kBiHeight, side);
    write_file(folder.path + "/pic.bmp", bmp);
    write_file(folder.path + "/pic.bmp.h", kEarlier);
    const ProgramResult run = with_shell(limits, KESTRIN_PATH, {"pic.bmp"}, folder.path);
    EXPECT_EQ(run.exit_status, 5);
    EXPECT_EQ(run.output,
              kKestrinBanner + "Opening File: pic.bmp\n" + dump_of(bmp) + "Image read failed\n");
    EXPECT_EQ(read_file(folder.path + "/pic.bmp.h"), kEarlier);
    EXPECT_EQ(list_folder(folder.path), Names({"pic.bmp", "pic.bmp.h"}));
    // A pipe's size is not known, but its buffer grows only with what arrives.
    const ProgramResult piped =
        run_shell((limits.empty() ? "" : limits + " && ") + "cat pic.bmp | " +
                      shell_quote(KESTRIN_PATH) + " /dev/stdin",
                  folder.path);
    EXPECT_EQ(piped.exit_status, 5);
    EXPECT_EQ(piped.output,
              kKestrinBanner + "Opening File: /dev/stdin\n" + dump_of(bmp) + "Image read failed\n");
  }
#endif
}

// Rows are read a band at a time, so memory does not grow with the picture:
// one whose pixels alone are more than the run may map converts exactly.
TEST(KestrinHostile, PictureLargerThanTheMemoryLimitConverts) {
#if defined(_WIN32)
  GTEST_SKIP() << "needs a POSIX shell's ulimit -v";
#elif defined(KL_SANITIZE)
  GTEST_SKIP() << "a lowered address-space limit breaks the sanitizers themselves";
#else
  TempFolder folder;
  const auto rows = noise_rows(8192, 2048);  // 48 MiB of pixels, under a 32 MiB limit
  write_file(folder.path + "/pic.bmp", bmp_bytes(8192, 2048, rows));
  write_file(folder.path + "/pic.bmp.h", kEarlier);
  const ProgramResult run = with_shell("ulimit -v 32768", KESTRIN_PATH, {"pic.bmp"}, folder.path);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, kKestrinBanner + "Opening File: pic.bmp\n" +
                            dump_of(read_file(folder.path + "/pic.bmp")) +
                            "Output File: pic.bmp.h\nDone.\n");
  EXPECT_TRUE(read_file(folder.path + "/pic.bmp.h") ==
              expected_header("pic.bmp", "PIC", "pic", 8192, rows));
  EXPECT_EQ(list_folder(folder.path), Names({"pic.bmp", "pic.bmp.h"}));
#endif
}

TEST(KestrinHostile, EndlessDeviceIsNoPicture) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /dev/zero and timeout";
#else
  const ProgramResult run = bounded(KESTRIN_PATH, {"/dev/zero"}, "/");
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.output, kKestrinBanner + "Opening File: /dev/zero\nHeader error: bad type (0x0)\n");
  EXPECT_FALSE(file_exists("/dev/zero.h"));
#endif
}

// Damage that leaves every pixel in place changes nothing in the header.
TEST(KestrinHostile, IgnoredFieldsAndMissingLastFillStillConvert) {
  const std::pair<std::string, std::string> cases[] = {
      {"cut one byte into the last fill", kGood.substr(0, 69)},
      {"cut before the last fill", kGood.substr(0, 68)},
      {"trailing bytes", kGood + "BM" + std::string(4094, '\xff')},
      {"bfSize 0", with_u32(kGood, kBfSize, 0)},
      {"bfSize 0xFFFFFFFF", with_u32(kGood, kBfSize, 0xFFFFFFFF)},
      {"biSizeImage 0", with_u32(kGood, kBiSizeImage, 0)},
      {"biSizeImage 0xFFFFFFFF", with_u32(kGood, kBiSizeImage, 0xFFFFFFFF)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    TempFolder folder;
    const ProgramResult run = convert(folder, c.second);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output, kKestrinBanner + "Opening File: pic.bmp\n" + dump_of(c.second) +
                              "Output File: pic.bmp.h\nDone.\n");
    EXPECT_EQ(read_output_file(folder.path + "/pic.bmp.h"), kGoodHeader);
    EXPECT_EQ(list_folder(folder.path), Names({"pic.bmp", "pic.bmp.h"}));
  }
}

// Fill bytes equal to the key's bytes are skipped, never repainted or read as
// a pixel; only the lone magenta pixel of the top row is repainted.
TEST(KestrinHostile, KeyColouredFillIsLeftAlone) {
  std::string bmp = bmp_bytes(2, 2, {{kBlue, kWhite}, {kMagenta, kGreen}}, '\xff');
  bmp[61] = bmp[69] = '\0';  // each row's fill is FF 00, the start of a magenta pixel
  TempFolder folder;
  const ProgramResult run = convert(folder, bmp, {"-MP"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, kKestrinBanner + kMagicPinkOn + "Opening File: pic.bmp\n" + dump_of(bmp) +
                            "Output File: pic.bmp.h\nDone.\n");
  const std::string header = read_output_file(folder.path + "/pic.bmp.h");
  EXPECT_EQ(header.substr(header.find("={")),
            "={\n0x0055954A, \n0x1DBFFF75, \n};\n/* END OF FILE */\n");
  EXPECT_EQ(read_file(folder.path + "/pic.bmp"), bmp);
}

// An offset inside the headers reads the pixels from there: the header is
// that of an honest file holding the same bytes as its pixels, every time.
TEST(KestrinHostile, OffsetsInsideTheHeadersReadFromThere) {
  for (std::uint32_t offset : {0u, 14u, 53u}) {
    SCOPED_TRACE(offset);
    const std::string odd = with_u32(kGood, kBfOffBits, offset);
    const std::string honest = kGood.substr(0, 54) + odd.substr(offset, 16);
    TempFolder odd_folder, honest_folder;
    const ProgramResult odd_run = convert(odd_folder, odd);
    const ProgramResult honest_run = convert(honest_folder, honest);
    EXPECT_EQ(odd_run.exit_status, 0);
    EXPECT_EQ(odd_run.output, honest_run.output);
    const std::string header = read_output_file(odd_folder.path + "/pic.bmp.h");
    EXPECT_EQ(header, read_output_file(honest_folder.path + "/pic.bmp.h"));
    EXPECT_NE(header, kGoodHeader);
    EXPECT_EQ(convert(odd_folder, odd).output, odd_run.output);
    EXPECT_EQ(read_output_file(odd_folder.path + "/pic.bmp.h"), header);
  }
}

}  // namespace
