// The BMP reader: header decoding and checks, and the rows it hands out.

#include "kestrin/bitmap_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "platform/memory_streams.h"
#include "support/temp_folder.h"

namespace {

using kestrin::ByteSource;
using kestrin::check_file_header;
using kestrin::check_info_header;
using kestrin::decode_file_header;
using kestrin::decode_info_header;
using kestrin::FileHeader;
using kestrin::InfoHeader;
using kestrin::PixelBuffer;
using kestrin::PixelRun;
using kestrin::RunResult;
using platform::MemoryInput;

// Collects what a function prints on its console stream.
struct Console {
  std::FILE* stream = open_scratch_file();

  ~Console() {
    if (stream) std::fclose(stream);
  }
  std::string str() { return read_scratch_file(stream); }
};

InfoHeader info_of(const std::string& bmp) {
  std::uint8_t bytes[InfoHeader::kSize];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(bmp[14 + i]);
  return decode_info_header(bytes);
}

// What the reader hands out for `bmp`: every row top first, as the bytes of
// its pixels, or the console text when it refuses.
struct Loaded {
  bool ok = false;
  std::vector<std::string> rows;
  std::string printed;
  bool read_failed = false;
};

Loaded load(const std::string& bmp, bool seekable = true, std::size_t cut_after_check = 0) {
  MemoryInput memory;
  memory.data = reinterpret_cast<const std::uint8_t*>(bmp.data());
  memory.size = bmp.size();
  const ByteSource source = platform::memory_source(&memory, seekable);
  Console console;
  FileHeader header;
  InfoHeader info;
  PixelBuffer pixels;
  Loaded loaded;
  loaded.ok = kestrin::read_file_header(source, &header) &&
              kestrin::read_info_header(source, &info) &&
              kestrin::load_pixels(source, info, header, &pixels, console.stream);
  loaded.printed = console.str();
  // A file that shrinks after it was checked fails as it is read.
  memory.size -= cut_after_check;
  PixelRun run;
  std::string row;
  for (RunResult next; loaded.ok && (next = next_pixel_run(&pixels, &run)) != RunResult::kEnd;) {
    if (next == RunResult::kReadFailed) {
      loaded.read_failed = true;
      break;
    }
    EXPECT_EQ(run.first_pair, row.size() / 6);
    row.append(reinterpret_cast<const char*>(run.pixels), 6 * run.pairs);
    if (run.ends_row) {
      loaded.rows.push_back(row);
      row.clear();
    }
  }
  return loaded;
}

// The rows of a picture made with noise_rows, as load() gives them.
std::vector<std::string> top_first(const std::vector<std::vector<Rgb>>& file_rows) {
  std::vector<std::string> rows;
  for (auto row = file_rows.rbegin(); row != file_rows.rend(); ++row) {
    std::string bytes;
    for (const Rgb& p : *row) bytes += std::string{char(p.blue), char(p.green), char(p.red)};
    rows.push_back(bytes);
  }
  return rows;
}

const char kDump[] =
    "\tInfoHeader: header size=40, Width, Height=(2,1)\n"
    "\tInfoHeader: planes=1, bits=24, compression=0, image size (bytes)=8\n";

TEST(FileHeader, DecodesLittleEndianFields) {
  std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  put_u32(&bmp, kBfOffBits, 0x12345678);
  std::uint8_t bytes[FileHeader::kSize];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(bmp[i]);
  const FileHeader header = decode_file_header(bytes);
  EXPECT_EQ(header.bfType, 0x4D42);
  EXPECT_EQ(header.bfSize, 62u);
  EXPECT_EQ(header.bfOffBits, 0x12345678u);
}

TEST(FileHeader, RejectsAnyTypeButBM) {
  Console console;
  FileHeader header;
  header.bfType = 0x4D42;
  EXPECT_TRUE(check_file_header(header, console.stream));
  header.bfType = 0x424D;  // "MB"
  EXPECT_FALSE(check_file_header(header, console.stream));
  EXPECT_EQ(console.str(), "Header error: bad type (0x424d)\n");
}

TEST(InfoHeader, DumpsThenAccepts24BitUncompressed) {
  Console console;
  EXPECT_TRUE(check_info_header(info_of(bmp_bytes(2, 1, {{kRed, kBlue}})), console.stream));
  EXPECT_EQ(console.str(), kDump);
}

// Each header breaks several rules at once; the first rule in order decides.
TEST(InfoHeader, ReportsTheFirstFailingRuleInOrder) {
  struct Case {
    std::uint32_t size;
    std::int32_t width;
    std::uint32_t compression, clr_used;
    std::uint16_t planes, bits;
    const char* message;
  };
  const Case cases[] = {
      {124, 3, 1, 1, 2, 8, "ERROR: Info Header error: bad header size (0x124)\n"},
      {108, 2, 0, 0, 1, 24, "ERROR: Info Header error: bad header size (0x108)\n"},
      {0xFFFFFFFF, 2, 0, 0, 1, 24, "ERROR: Info Header error: bad header size (0x-1)\n"},
      {40, -2, 1, 1, 2, 8, "ERROR: Info Header error: bad width (-2)\n"},
      {40, -3, 0, 0, 1, 24, "ERROR: Info Header error: bad width (-3)\n"},
      {40, 3, 1, 1, 2, 8, "ERROR: Info Header error: width is not a multiple of 2 (0x3)\n"},
      {40, 2, 3, 1, 2, 8, "ERROR: Info Header error: compression not supported (0x3)\n"},
      {40, 2, 0xFFFFFFFF, 0, 1, 24, "ERROR: Info Header error: compression not supported (0x-1)\n"},
      {40, 2, 0, 256, 2, 8, "ERROR: Info Header error: indexed colors not supported (256)\n"},
      {40, 2, 0, 0, 2, 8, "ERROR: Info Header error: only one plane supported (2)\n"},
      {40, 2, 0, 0, 0, 24, "ERROR: Info Header error: only one plane supported (0)\n"},
      {40, 2, 0, 0, 1, 8, "ERROR: Info Header error: only 24 bit color depth supported (8)\n"},
      {40, 2, 0, 0, 1, 0xFFFF,
       "ERROR: Info Header error: only 24 bit color depth supported (65535)\n"},
  };
  for (const Case& c : cases) {
    std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
    put_u32(&bmp, kBiSize, c.size);
    put_u32(&bmp, kBiWidth, static_cast<std::uint32_t>(c.width));
    put_u32(&bmp, kBiCompression, c.compression);
    put_u32(&bmp, kBiClrUsed, c.clr_used);
    put_u16(&bmp, kBiPlanes, c.planes);
    put_u16(&bmp, kBiBitCount, c.bits);
    Console console;
    EXPECT_FALSE(check_info_header(info_of(bmp), console.stream)) << c.message;
    const std::string printed = console.str();
    EXPECT_EQ(printed.substr(printed.find('\n', printed.find('\n') + 1) + 1), c.message);
  }
}

TEST(InfoHeader, DumpPrintsFieldsAsSigned32Bit) {
  std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  put_u32(&bmp, kBiHeight, 0x80000000);
  put_u32(&bmp, kBiSizeImage, 0xFFFFFFFF);
  Console console;
  EXPECT_TRUE(check_info_header(info_of(bmp), console.stream));
  EXPECT_EQ(console.str(),
            "\tInfoHeader: header size=40, Width, Height=(2,-2147483648)\n"
            "\tInfoHeader: planes=1, bits=24, compression=0, image size (bytes)=-1\n");
}

TEST(LoadPixels, RowsComeTopFirstWithoutFill) {
  // 2 x 2: 6 pixel bytes and 2 fill bytes a row.
  const Loaded loaded = load(bmp_bytes(2, 2, {{kRed, kGreen}, {kBlue, kWhite}}, '\x77'));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.printed, "");
  EXPECT_EQ(loaded.rows, (std::vector<std::string>{std::string("\xff\x00\x00\xff\xff\xff", 6),
                                                   std::string("\x00\x00\xff\x00\xff\x00", 6)}));
}

// Bands of rows are read from the end of a bottom-up file and from the start
// of a top-down one, and rows longer than a band come in pieces; every way
// must give the same rows, as must a source that cannot seek.
TEST(LoadPixels, EveryLayoutGivesTheSameRows) {
  struct Size {
    int width, height;
  };
  for (const Size size : {Size{6, 3}, Size{30, 900}, Size{2000, 40}, Size{30000, 3}}) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    const auto rows = noise_rows(size.width, size.height);
    const std::vector<std::vector<Rgb>> reversed(rows.rbegin(), rows.rend());
    const std::vector<std::string> expected = top_first(rows);
    for (bool seekable : {true, false}) {
      const Loaded up = load(bmp_bytes(size.width, size.height, rows, '\x55'), seekable);
      const Loaded down = load(bmp_bytes(size.width, -size.height, reversed, '\x55'), seekable);
      ASSERT_TRUE(up.ok && down.ok);
      EXPECT_TRUE(up.rows == expected) << "bottom-up, seekable " << seekable;
      EXPECT_TRUE(down.rows == expected) << "top-down, seekable " << seekable;
    }
  }
}

TEST(LoadPixels, FileCutInsideTheLastFillStillLoads) {
  std::string bmp = bmp_bytes(6, 2, noise_rows(6, 2));  // 2 fill bytes a row
  bmp.resize(bmp.size() - 2);
  for (bool seekable : {true, false}) {
    EXPECT_TRUE(load(bmp, seekable).ok);
    const Loaded cut = load(bmp.substr(0, bmp.size() - 1), seekable);  // a pixel byte is missing
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.printed, "Image read failed\n");
  }
}

TEST(LoadPixels, RefusesClaimsTheFileCannotHoldBeforeReading) {
  std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  for (std::uint32_t offset : {62u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    put_u32(&bmp, kBfOffBits, offset);
    const Loaded loaded = load(bmp);
    EXPECT_FALSE(loaded.ok) << offset;
    EXPECT_EQ(loaded.printed, "Image read failed\n");
  }
  bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  put_u32(&bmp, kBiWidth, 65536);
  put_u32(&bmp, kBiHeight, 65536);
  const Loaded huge = load(bmp);
  EXPECT_FALSE(huge.ok);
  EXPECT_EQ(huge.printed, "Image read failed\n");
}

TEST(LoadPixels, ShrinkingFileFailsAsItIsRead) {
  const Loaded loaded = load(bmp_bytes(4000, 30, noise_rows(4000, 30)), true, 100);
  EXPECT_TRUE(loaded.ok);
  EXPECT_TRUE(loaded.read_failed);
}

// From a pipe too, which cannot go back to them.
TEST(LoadPixels, OffsetsInsideTheHeadersReadFromThere) {
  for (std::uint32_t offset : {0u, 30u, 50u}) {
    std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
    put_u32(&bmp, kBfOffBits, offset);
    for (bool seekable : {true, false}) {
      const Loaded loaded = load(bmp, seekable);
      ASSERT_TRUE(loaded.ok) << offset << " " << seekable;
      EXPECT_EQ(loaded.rows, std::vector<std::string>{bmp.substr(offset, 6)});
    }
  }
}

TEST(LoadPixels, EmptyPicturesNeedNoData) {
  std::string bmp = bmp_bytes(0, 5, {});
  put_u32(&bmp, kBfOffBits, 0xFFFFFFFF);
  const Loaded zero_width = load(bmp);
  EXPECT_TRUE(zero_width.ok);
  EXPECT_EQ(zero_width.rows, std::vector<std::string>(5));  // five empty rows
  const Loaded no_rows = load(bmp_bytes(4, 0, {}));
  EXPECT_TRUE(no_rows.ok);
  EXPECT_TRUE(no_rows.rows.empty());
}

}  // namespace
