#include "kestrin/bitmap_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bmp_bytes.h"

namespace {

// Collects what a function prints on its console stream.
struct Console {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);

  ~Console() {
    if (stream) std::fclose(stream);
    std::free(text);
  }
  std::string str() {
    std::fflush(stream);
    return std::string(text, size);
  }
};

InfoHeader info_of(const std::string& bmp) {
  std::uint8_t bytes[InfoHeader::kSize];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(bmp[14 + i]);
  return decode_info_header(bytes);
}

// Runs the reader over `bmp` in memory, as the converter does after its checks.
bool load(std::string bmp, PixelBuffer* pixels, std::string* printed) {
  std::FILE* in = fmemopen(bmp.data(), bmp.size(), "rb");
  Console console;
  FileHeader header;
  InfoHeader info;
  bool ok = read_file_header(in, &header) && read_info_header(in, &info) &&
            load_pixels(in, info, header, pixels, console.stream);
  std::fclose(in);
  *printed = console.str();
  return ok;
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

TEST(LoadPixels, StoresRowsBottomFirstWithoutFill) {
  // 2 x 2: 6 pixel bytes and 2 fill bytes a row.
  PixelBuffer pixels;
  std::string printed;
  ASSERT_TRUE(load(bmp_bytes(2, 2, {{kRed, kGreen}, {kBlue, kWhite}}, '\x77'), &pixels, &printed));
  EXPECT_EQ(printed, "");
  ASSERT_EQ(pixels.width, 2u);
  ASSERT_EQ(pixels.height, 2u);
  const std::string bytes(reinterpret_cast<const char*>(pixels.bytes.get()), 12);
  EXPECT_EQ(bytes, std::string("\x00\x00\xff\x00\xff\x00\xff\x00\x00\xff\xff\xff", 12));
}

TEST(LoadPixels, TopDownRowsAreStoredBottomFirst) {
  PixelBuffer bottom_up, top_down;
  std::string printed;
  const auto rows = noise_rows(6, 3);
  ASSERT_TRUE(load(bmp_bytes(6, 3, rows), &bottom_up, &printed));
  ASSERT_TRUE(load(bmp_bytes(6, -3, {rows[2], rows[1], rows[0]}), &top_down, &printed));
  EXPECT_EQ(top_down.height, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(top_down.bytes.get()), 54),
            std::string(reinterpret_cast<char*>(bottom_up.bytes.get()), 54));
}

TEST(LoadPixels, FileCutInsideTheLastFillStillLoads) {
  std::string bmp = bmp_bytes(6, 2, noise_rows(6, 2));  // 2 fill bytes a row
  bmp.resize(bmp.size() - 2);
  PixelBuffer pixels;
  std::string printed;
  EXPECT_TRUE(load(bmp, &pixels, &printed));
  bmp.resize(bmp.size() - 1);  // now one pixel byte is missing
  EXPECT_FALSE(load(bmp, &pixels, &printed));
  EXPECT_EQ(printed, "Image read failed\n");
}

TEST(LoadPixels, RefusesClaimsTheFileCannotHoldBeforeAllocating) {
  std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  PixelBuffer pixels;
  std::string printed;
  for (std::uint32_t offset : {62u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    put_u32(&bmp, kBfOffBits, offset);
    EXPECT_FALSE(load(bmp, &pixels, &printed)) << offset;
    EXPECT_EQ(printed, "Image read failed\n");
  }
  bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  put_u32(&bmp, kBiWidth, 65536);
  put_u32(&bmp, kBiHeight, 65536);
  EXPECT_FALSE(load(bmp, &pixels, &printed));
  EXPECT_EQ(printed, "Image read failed\n");
  EXPECT_EQ(pixels.bytes, nullptr);
}

TEST(LoadPixels, OffsetsInsideTheHeadersReadFromThere) {
  std::string bmp = bmp_bytes(2, 1, {{kRed, kBlue}});
  put_u32(&bmp, kBfOffBits, 0);
  PixelBuffer pixels;
  std::string printed;
  ASSERT_TRUE(load(bmp, &pixels, &printed));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(pixels.bytes.get()), 6), bmp.substr(0, 6));
}

TEST(LoadPixels, EmptyPicturesNeedNoData) {
  std::string bmp = bmp_bytes(0, 5, {});
  put_u32(&bmp, kBfOffBits, 0xFFFFFFFF);
  PixelBuffer pixels;
  std::string printed;
  EXPECT_TRUE(load(bmp, &pixels, &printed));
  EXPECT_EQ(pixels.width, 0u);
  EXPECT_EQ(pixels.height, 5u);
  EXPECT_TRUE(load(bmp_bytes(4, 0, {}), &pixels, &printed));
  EXPECT_EQ(pixels.height, 0u);
}

}  // namespace
