// Runs the built kestrin-prepare: the BMP it writes byte for byte, against
// one made by hand by its rule and through kestrin, its report, its command
// line, and every refusal of a damaged or hostile picture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrin/bmp_bytes.h"
#include "prepare/png_bytes.h"
#include "support/line_ends.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using Names = std::vector<std::string>;

const std::string kUsage = "usage: kestrin-prepare [options] <picture> [<out.bmp>]\n";

struct Rgba {
  std::uint8_t red, green, blue, alpha;
};

// An 8-bit RGBA PNG of `rows`, top row first, every row filtered with None.
std::string rgba_png(const std::vector<std::vector<Rgba>>& rows) {
  std::string data;
  for (const auto& row : rows) {
    data += '\0';
    for (const Rgba& p : row) {
      data += {static_cast<char>(p.red), static_cast<char>(p.green), static_cast<char>(p.blue),
               static_cast<char>(p.alpha)};
    }
  }
  return png_file(png_ihdr(static_cast<std::uint32_t>(rows[0].size()),
                           static_cast<std::uint32_t>(rows.size()), 8, 6),
                  data);
}

ProgramResult prepare(const TempFolder& folder, const Names& args) {
  return run_program(PREPARE_PATH, args, folder.path);
}

// A 33 x 20 sprite: a transparent ground (alpha 0), a shadow of alpha 100,
// wings of alpha 200 and an opaque hull; and the rows of the BMP that the
// rule makes of it by hand, bottom row first, 34 wide.
std::vector<std::vector<Rgba>> sprite() {
  std::vector<std::vector<Rgba>> rows(20, std::vector<Rgba>(33, Rgba{10, 20, 30, 0}));
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 33; ++x) {
      if (y >= 14 && y <= 18 && x >= 2 && x <= 30) rows[y][x] = {0, 0, 0, 100};
      if (y >= 4 && y <= 12 && x >= 8 && x <= 24) rows[y][x] = {40, 120, 200, 255};
      if (y >= 6 && y <= 10 && (x <= 7 || x >= 25) && x >= 3 && x <= 29) {
        rows[y][x] = {220, 180, 40, 200};
      }
    }
  }
  return rows;
}

std::vector<std::vector<Rgb>> by_hand(const std::vector<std::vector<Rgba>>& picture) {
  std::vector<std::vector<Rgb>> rows;
  for (auto row = picture.rbegin(); row != picture.rend(); ++row) {
    std::vector<Rgb> out;
    for (const Rgba& p : *row)
      out.push_back(p.alpha < 128 ? kMagenta : Rgb{p.red, p.green, p.blue});
    if (out.size() % 2 != 0) out.push_back(kMagenta);
    rows.push_back(out);
  }
  return rows;
}

TEST(PrepareCli, WritesTheBmpTheRuleMakesByHand) {
  TempFolder folder;
  write_file(folder.path + "/ship.png", rgba_png(sprite()));
  const ProgramResult run = prepare(folder, {"--quiet", "ship.png"});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(run.output + run.errors, "");
  const std::string hand = bmp_bytes(34, 20, by_hand(sprite()));
  EXPECT_EQ(read_file(folder.path + "/ship.bmp"), hand);

  // Through kestrin, the same header as the BMP made by hand.
  TempFolder hand_folder;
  write_file(hand_folder.path + "/ship.bmp", hand);
  ASSERT_EQ(run_program(KESTRIN_PATH, {"-MP", "ship.bmp"}, folder.path).exit_status, 0);
  ASSERT_EQ(run_program(KESTRIN_PATH, {"-MP", "ship.bmp"}, hand_folder.path).exit_status, 0);
  EXPECT_EQ(read_file(folder.path + "/ship.bmp.h"), read_file(hand_folder.path + "/ship.bmp.h"));
  EXPECT_EQ(list_folder(folder.path), Names({"ship.bmp", "ship.bmp.h", "ship.png"}));
}

// A BMP that kestrin reads already goes out byte for byte, odd row fill,
// top-down rows and any size included; --key and --alpha-threshold choose
// what becomes the key.
TEST(PrepareCli, KeepsAReadyBmpAndTakesItsOptions) {
  TempFolder folder;
  std::string ready = bmp_bytes(2, -2, {{kRed, kBlue}, {kWhite, kBlack}}, 'x');
  write_file(folder.path + "/ready.bmp", ready);
  ProgramResult run = prepare(folder, {"--quiet", "ready.bmp", "out.bmp"});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(read_file(folder.path + "/out.bmp"), ready);
  // Whatever its size: 4800 x 4800 holds more than any picture that is decoded.
  std::string large = ready.substr(0, 54) + std::string(4800 * 4800 * 3, '\0');
  put_u32(&large, kBiWidth, 4800);
  put_u32(&large, kBiHeight, 4800);
  write_file(folder.path + "/large.bmp", large);
  run = prepare(folder, {"--quiet", "large.bmp", "large-out.bmp"});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_TRUE(read_file(folder.path + "/large-out.bmp") == large);

  const std::vector<std::vector<Rgba>> two = {{{1, 2, 3, 100}, {4, 5, 6, 255}}};
  write_file(folder.path + "/two.png", rgba_png(two));
  const Rgb green{0, 255, 0}, first{1, 2, 3}, second{4, 5, 6};
  const struct {
    Names options;
    std::vector<Rgb> row;
  } cases[] = {
      {{"--key=0x00FF00"}, {green, second}},
      {{"--alpha-threshold", "0"}, {first, second}},
      {{"--alpha-threshold=255", "--key", "0x00ff00zz"}, {green, second}},
  };
  for (const auto& c : cases) {
    Names args = c.options;
    args.insert(args.end(), {"--quiet", "--", "two.png"});
    run = prepare(folder, args);
    EXPECT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_EQ(read_file(folder.path + "/two.bmp"), bmp_bytes(2, 1, {c.row})) << c.options[0];
  }
}

// The key colour's three traps, each counted with its first place; a clean
// picture says so; a report that cannot be written leaves no BMP.
TEST(PrepareCli, ReportsTheKeyColoursTraps) {
  TempFolder folder;
  const Rgba key{255, 0, 255, 255}, near{250, 0, 250, 255}, clear{0, 0, 0, 0}, red{255, 0, 0, 255};
  write_file(folder.path + "/t.png", rgba_png({{key, near, clear, red}, {clear, clear, red, red}}));
  ProgramResult run = prepare(folder, {"t.png"});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(run.output,
            "kestrin-prepare: t.png: t.bmp, 4 x 2 pixels; 1 of 8 pixels are the key colour but "
            "opaque in the picture (they vanish), the first at (0, 0); 1 of 8 pixels are near the "
            "key colour but not it (a visible fringe), the first at (1, 0); 2 of 8 pixels are the "
            "key colour alone in their pair (painted, not transparent), the first at (0, 0)\n");
  write_file(folder.path + "/clean.png", rgba_png({{clear, clear, red, red}}));
  run = prepare(folder, {"clean.png"});
  EXPECT_EQ(run.output,
            "kestrin-prepare: clean.png: clean.bmp, 4 x 1 pixels; nothing near the key colour or "
            "alone in its pair\n");
#ifndef _WIN32
  run = run_shell(std::string("'") + PREPARE_PATH + "' t.png again.bmp >/dev/full", folder.path);
  EXPECT_EQ(run.exit_status, 6);
  EXPECT_FALSE(file_exists(folder.path + "/again.bmp"));
#endif
}

TEST(PrepareCli, CommandLine) {
  TempFolder folder;
  ProgramResult run = prepare(folder, {"--help"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output.compare(0, kUsage.size(), kUsage), 0);
  run = prepare(folder, {"--version"});
  EXPECT_EQ(run.output, "kestrin-prepare 1.0.0\n");
  const struct {
    Names args;
    const char* mistake;
  } mistakes[] = {
      {{}, "no picture given"},
      {{"--frobnicate", "a.png"}, "unknown option '--frobnicate'"},
      {{"a.png", "--key"}, "--key needs a value"},
      {{"--key", "pink", "a.png"}, "--key wants a colour such as 0xFF00FF, not 'pink'"},
      {{"--alpha-threshold=256", "a.png"},
       "--alpha-threshold is a whole number from 0 to 255, not '256'"},
      {{"--quiet=yes", "a.png"}, "--quiet takes no value"},
      {{"a.png", "b.bmp", "c.bmp"}, "one picture and one BMP at most; 'c.bmp' is a third"},
  };
  for (const auto& m : mistakes) {
    run = prepare(folder, m.args);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(with_lf_line_ends(run.errors, m.mistake),
              "kestrin-prepare: " + std::string(m.mistake) + "\n" + kUsage);
    EXPECT_EQ(run.output, "");
  }
  // The default name of a BMP is its own.
  write_file(folder.path + "/pic.bmp", bmp_bytes(3, 1, {{kRed, kBlue, kWhite}}));
  run = prepare(folder, {"pic.bmp"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(with_lf_line_ends(run.errors, "own default"),
            "kestrin-prepare: pic.bmp would be written over itself: give the BMP's name after "
            "the picture's\n");
  run = prepare(folder, {"pic.bmp", "./pic.bmp"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(with_lf_line_ends(run.errors, "itself"),
            "kestrin-prepare: ./pic.bmp is the picture itself\n");
  EXPECT_EQ(list_folder(folder.path), Names{"pic.bmp"});
}

// Damaged, hostile and unknown files: one line naming the file and the
// reason, a documented status, and nothing written.
TEST(PrepareCli, RefusesWhatItCannotRead) {
  TempFolder folder;
  const std::string sound = rgba_png(sprite());
  std::string bad_checksum = sound;
  bad_checksum[bad_checksum.size() - 20] ^= 1;  // inside IDAT
  std::string huge =
      std::string("\x89PNG\r\n\x1a\n", 8) + png_ihdr(100000, 100000, 8, 6) + png_chunk("IEND", "");
  // 64 x 64 pixels whose data unpacks to 16 MiB: a zlib bomb.
  const std::string bomb = png_file(png_ihdr(64, 64, 8, 6), std::string(16 << 20, '\0'));
  std::string rle = bmp_bytes(2, 1, {{kRed, kBlue}});
  put_u16(&rle, kBiBitCount, 8);
  put_u32(&rle, kBiCompression, 1);
  // A palette of one colour, indices 0 and 5 (the decoder would make 5 up).
  const std::string short_palette = png_file(png_ihdr(2, 1, 8, 3), std::string("\0\0\5", 3),
                                             png_chunk("PLTE", std::string("\xff\0\0", 3)));
  std::string indexed = bmp_bytes(4, 1, {{kRed, kRed, kRed, kRed}});
  indexed = indexed.substr(0, 54) + std::string("\0\0\xff\0\0\0\3\0", 8);
  put_u32(&indexed, kBfOffBits, 58);
  put_u16(&indexed, kBiBitCount, 8);
  put_u32(&indexed, kBiClrUsed, 1);
  std::string checksum_of_data = deflated(std::string(3, '\0'));
  checksum_of_data.back() ^= 1;  // zlib's own checksum, the chunk's holding
  const struct {
    const char* name;
    std::string bytes;
    int status;
    const char* message;
  } cases[] = {
      {"cut.png", sound.substr(0, 60), 3,
       "cut.png: a damaged PNG: the file ends inside its IDAT chunk"},
      {"checksum.png", bad_checksum, 3,
       "checksum.png: a damaged PNG: the checksum of its IDAT chunk fails"},
      {"huge.png", huge, 4,
       "huge.png is 100000 x 100000 pixels; at most 8192 on a side and 4194304 in all are read"},
      {"bomb.png", bomb, 3,
       "bomb.png: a damaged PNG: it holds more image data than its size calls for"},
      {"palette.png", short_palette, 3,
       "palette.png: a damaged PNG: its pixels use palette entries it does not have"},
      {"indexed.bmp", indexed, 3,
       "indexed.bmp: a damaged BMP: its pixels use palette entries it does not have"},
      {"adler.png", png_chunks(png_ihdr(2, 1, 8, 0), checksum_of_data), 3,
       "adler.png: a damaged PNG: its image data is damaged (incorrect data check)"},
      {"depth.png", png_file(png_ihdr(2, 1, 2, 4), std::string(2, '\0')), 3,
       "depth.png: a damaged PNG: its IHDR gives colour type 4 at 2 bits, which the format does "
       "not have"},
      {"text.png", "hello\n", 3, "text.png is neither a PNG nor a BMP"},
      {"empty.bmp", "", 3, "empty.bmp is neither a PNG nor a BMP"},
      {"rle.bmp", rle, 3,
       "rle.bmp: a BMP that is not read: it is RLE-compressed; save it uncompressed"},
      {"cut.bmp", bmp_bytes(2, 2, {{kRed, kBlue}, {kWhite, kBlack}}).substr(0, 60), 3,
       "cut.bmp: a damaged BMP: the file ends before its last pixel"},
  };
  for (const auto& c : cases) {
    write_file(folder.path + "/" + c.name, c.bytes);
    const ProgramResult run = prepare(folder, {c.name, "out.bmp"});
    EXPECT_EQ(run.exit_status, c.status) << c.name;
    EXPECT_EQ(with_lf_line_ends(run.errors, c.name),
              "kestrin-prepare: " + std::string(c.message) + "\n");
    EXPECT_EQ(run.output, "");
    EXPECT_FALSE(file_exists(folder.path + "/out.bmp")) << c.name;
  }
  const ProgramResult run = prepare(folder, {"missing.png"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(with_lf_line_ends(run.errors, "missing"), "kestrin-prepare: cannot open missing.png\n");
}

}  // namespace
