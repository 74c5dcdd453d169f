// Runs the built kestrin-preview on headers that kestrin wrote: golden
// pictures byte for byte, other readers of its PNGs, and every way a run
// can fail.

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kestrin/bmp_bytes.h"
#include "kestrin/preview/pair_decoding.h"
#include "preview/png_read.h"
#include "support/line_ends.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using Names = std::vector<std::string>;

const std::string kUsage = "usage: kestrin-preview [options] <header> [<picture.png>]\n";

// The 4 x 2 picture of Kestrin's worked example: bottom row white, white,
// black, black; top row red, black, blue, white.
const std::vector<std::vector<Rgb>> kWorked = {{kWhite, kWhite, kBlack, kBlack},
                                               {kRed, kBlack, kBlue, kWhite}};
// A sprite on the Magic Pink key: the lone key pixel of the top row is
// repainted black by kestrin -MP, the pairs wholly of the key stay.
const std::vector<std::vector<Rgb>> kSprite = {{kWhite, kWhite, kMagenta, kMagenta},
                                               {kMagenta, kMagenta, kRed, kMagenta}};

ProgramResult preview(const TempFolder& folder, const Names& args) {
  return run_program(PREVIEW_PATH, args, folder.path);
}

// pic.bmp holding `rows`, and pic.bmp.h as kestrin converts it.
void make_header(const TempFolder& folder, const std::vector<std::vector<Rgb>>& rows,
                 const Names& kestrin_options = {}) {
  write_file(folder.path + "/pic.bmp", bmp_bytes(4, 2, rows));
  Names args = kestrin_options;
  args.push_back("pic.bmp");
  ASSERT_EQ(run_program(KESTRIN_PATH, args, folder.path).exit_status, 0);
}

std::string golden(const std::string& name) {
  bool exists = false;
  const std::string bytes = read_file(std::string(GOLDEN_DIR) + "/" + name, &exists);
  EXPECT_TRUE(exists) << name;
  return bytes;
}

TEST(PreviewCli, WritesTheGoldenPictures) {
  TempFolder folder;
  make_header(folder, kWorked);
  ProgramResult run = preview(folder, {"pic.bmp.h"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output + run.errors, "");
  EXPECT_EQ(read_file(folder.path + "/pic.bmp.h.png"), golden("worked.png"));

  run = preview(folder, {"--display=full", "--compare", "pic.bmp", "pic.bmp.h", "compare.png"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors, "");
  // Worked by hand: against each source pixel as a pair of itself in full
  // range (red comes back as 254), the differences of red are 90 and 88
  // (red, black) and 14 and 15 (blue, white) over eight pixels; both top
  // pairs mix colours whose chroma lies 127 levels apart.
  EXPECT_EQ(run.output,
            "kestrin-preview: pic.bmp.h against pic.bmp: mean difference R 25.88 G 8.50 B 18.75, "
            "largest R 90 G 39 B 113; 2 of 4 pairs mix very different colours\n");
  EXPECT_EQ(read_file(folder.path + "/compare.png"), golden("worked-compare.png"));

  TempFolder sprite;
  make_header(sprite, kSprite, {"-MP"});
  run = preview(sprite, {"--transparent", "--scale", "2", "--display", "full", "pic.bmp.h"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(read_file(sprite.path + "/pic.bmp.h.png"), golden("sprite-transparent.png"));
  EXPECT_EQ(list_folder(sprite.path), Names({"pic.bmp", "pic.bmp.h", "pic.bmp.h.png"}));

  // The pairs wholly of the key show nothing in either picture: no
  // difference. The lone key pixel that kestrin painted black is one: 166,
  // 0 and 254 levels off the key as it comes back, beside 90, 39, 37 for red.
  run = preview(
      sprite, {"--display=full", "--transparent", "--compare=pic.bmp", "pic.bmp.h", "compare.png"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output,
            "kestrin-preview: pic.bmp.h against pic.bmp: mean difference R 32.00 G 4.88 B 36.38, "
            "largest R 166 G 39 B 254; 1 of 4 pairs mix very different colours; 1 of 8 pixels "
            "are the key colour alone in their pair (painted, not transparent), the first at "
            "(3, 0)\n");
  EXPECT_EQ(read_file(sprite.path + "/compare.png"), golden("sprite-compare.png"));
}

// What the comparison shows is what the artist can change. A picture of two
// flat colours with no pair that mixes them has no difference: its means are
// 0 and its differences black. A sprite with a fringe a few levels off the
// key and key pixels lone in their pair is told where they are, with the
// source and from the words alone, and its differences mark the fringe.
TEST(PreviewCli, ReportsWhatTheArtistCanFix) {
  TempFolder folder;
  const Rgb red{224, 32, 32}, blue{32, 32, 224};
  std::vector<std::vector<Rgb>> flat(6, std::vector<Rgb>(8, red));
  for (auto& row : flat) std::fill(row.begin() + 4, row.end(), blue);
  write_file(folder.path + "/flat.bmp", bmp_bytes(8, 6, flat));
  ASSERT_EQ(run_program(KESTRIN_PATH, {"flat.bmp"}, folder.path).exit_status, 0);
  ProgramResult run = preview(folder, {"--compare", "flat.bmp", "flat.bmp.h"});
  EXPECT_EQ(run.output,
            "kestrin-preview: flat.bmp.h against flat.bmp: mean difference R 0.00 G 0.00 B 0.00, "
            "largest R 0 G 0 B 0; 0 of 24 pairs mix very different colours\n");
  PngPixels png = png_pixels(read_file(folder.path + "/flat.bmp.h.png"));
  ASSERT_EQ(png.width, 3 * 8 + 2 * 4u);
  for (std::uint32_t y = 0; y < png.height; ++y) {
    for (std::uint32_t x = 2 * (8 + 4); x < png.width; ++x) {
      const std::uint8_t* p = &png.rgba[4 * (y * png.width + x)];
      ASSERT_EQ(std::vector<std::uint8_t>(p, p + 4), std::vector<std::uint8_t>({0, 0, 0, 255}));
    }
  }

  // 16 x 6, rows top first: fringe pixels F at (4..11, 1), (3, 2), (12, 2)
  // and (4..11, 4); lone key pixels at (2, 2), (13, 2) and (14, 5).
  const Rgb K = kMagenta, F{250, 0, 250}, D{40, 40, 60};
  std::vector<std::vector<Rgb>> sprite(6, std::vector<Rgb>(16, K));
  for (const int y : {1, 4}) std::fill(sprite[y].begin() + 4, sprite[y].begin() + 12, F);
  for (const int y : {2, 3}) std::fill(sprite[y].begin() + 4, sprite[y].begin() + 12, D);
  sprite[2][3] = sprite[2][12] = F;
  sprite[5][15] = D;
  write_file(folder.path + "/pic.bmp", bmp_bytes(16, 6, {sprite.rbegin(), sprite.rend()}));
  ASSERT_EQ(run_program(KESTRIN_PATH, {"-MP", "pic.bmp"}, folder.path).exit_status, 0);
  run = preview(folder, {"--transparent", "--compare", "pic.bmp", "pic.bmp.h"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output,
            "kestrin-preview: pic.bmp.h against pic.bmp: mean difference R 8.14 G 0.91 B 8.22, "
            "largest R 255 G 43 B 255; 1 of 48 pairs mix very different colours; 18 of 96 "
            "pixels are near the key colour but not it (a visible fringe), the first at (4, 1); "
            "3 of 96 pixels are the key colour alone in their pair (painted, not transparent), "
            "the first at (2, 2)\n");
  png = png_pixels(read_file(folder.path + "/pic.bmp.h.png"));
  const std::uint8_t* mark = &png.rgba[4 * (1 * png.width + 2 * (16 + 4) + 4)];
  EXPECT_EQ(std::vector<std::uint8_t>(mark, mark + 4),
            std::vector<std::uint8_t>({16, 255, 16, 255}));
  // The words alone: the two fringe pixels paired with a lone key pixel,
  // which kestrin painted black, share its chroma and are far off the key.
  run = preview(folder, {"--transparent", "pic.bmp.h"});
  EXPECT_EQ(run.output,
            "kestrin-preview: pic.bmp.h: 16 of 96 pixels are near the key colour but not it (a "
            "visible fringe), the first at (4, 1)\n");
}

#ifdef _WIN32
TEST(PreviewCli, PicturesOpenInOtherReaders) {
  GTEST_SKIP() << "pngcheck, Pillow and ImageMagick are Linux tools here";
}
#else
// Each reader that is installed must take the pictures, and Pillow must see
// the pixels worked out by hand (see the decoding tests).
TEST(PreviewCli, PicturesOpenInOtherReaders) {
  TempFolder folder;
  make_header(folder, kWorked);
  ASSERT_EQ(preview(folder, {"pic.bmp.h", "worked.png"}).exit_status, 0);
  // A larger one: RGBA, many stored blocks and several IDAT chunks.
  write_file(folder.path + "/noise.bmp", bmp_bytes(300, 200, noise_rows(300, 200)));
  ASSERT_EQ(run_program(KESTRIN_PATH, {"noise.bmp"}, folder.path).exit_status, 0);
  ASSERT_EQ(preview(folder, {"--transparent", "--scale=3", "noise.bmp.h", "noise.png"}).exit_status,
            0);

  int readers = 0;
  if (run_shell("command -v pngcheck", folder.path).exit_status == 0) {
    ++readers;
    const ProgramResult check = run_shell("pngcheck worked.png noise.png", folder.path);
    EXPECT_EQ(check.exit_status, 0) << check.output;
  }
  if (run_shell("/usr/bin/python3 -c 'import PIL'", folder.path).exit_status == 0) {
    ++readers;
    const ProgramResult pillow = run_shell(
        "/usr/bin/python3 -c 'from PIL import Image\n"
        "w = Image.open(\"worked.png\").convert(\"RGB\"); n = Image.open(\"noise.png\")\n"
        "n.load(); print(list(w.getdata()), n.mode, n.size)'",
        folder.path);
    EXPECT_EQ(pillow.output,
              "[(170, 27, 25), (82, 0, 0), (0, 0, 142), (255, 255, 255), (255, 255, 255), "
              "(255, 255, 255), (0, 0, 0), (0, 0, 0)] RGBA (900, 600)\n");
  }
  if (run_shell("test -x /usr/bin/convert", folder.path).exit_status == 0) {
    ++readers;
    const ProgramResult magick =
        run_shell("/usr/bin/convert noise.png -format '%w %h %[channels]' info:", folder.path);
    EXPECT_EQ(magick.output, "900 600 srgba");
  }
  if (readers == 0) GTEST_SKIP() << "none of pngcheck, Pillow and ImageMagick is installed";
}
#endif

TEST(PreviewCli, HelpAndVersionGoToStandardOutput) {
  TempFolder folder;
  ProgramResult run = preview(folder, {"--help"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output.substr(0, kUsage.size()), kUsage);
  EXPECT_NE(run.output.find("--compare <picture.bmp>"), std::string::npos);
  run = preview(folder, {"--version"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output.substr(0, 16), "kestrin-preview ");
  EXPECT_EQ(run.errors, "");
}

TEST(PreviewCli, MistakesOnTheCommandLineShowTheUsage) {
  TempFolder folder;
  make_header(folder, kWorked);
  const std::pair<Names, std::string> cases[] = {
      {{}, "no header given"},
      {{"--compare"}, "--compare needs a value"},
      {{"--frobnicate", "pic.bmp.h"}, "unknown option '--frobnicate'"},
      {{"--scale", "0", "pic.bmp.h"}, "--scale is a whole number from 1 to 16, not '0'"},
      {{"--scale=17", "pic.bmp.h"}, "--scale is a whole number from 1 to 16, not '17'"},
      {{"--display", "tv", "pic.bmp.h"}, "--display is 'console' or 'full', not 'tv'"},
      {{"--transparent=pink", "pic.bmp.h"},
       "--transparent wants a colour such as 0xFF00FF, not 'pink'"},
      {{"--key", "pink", "pic.bmp.h"}, "--key wants a colour such as 0xFF00FF, not 'pink'"},
      {{"--transparent", "--key"}, "--key needs a value"},
      // The key as --transparent's value in the next argument, as it was once given.
      {{"--transparent", "0x00FF00", "pic.bmp.h"},
       "cannot open 0x00FF00; to give the key colour, write --key 0x00FF00"},
      {{"--help=me"}, "--help takes no value"},
      {{"pic.bmp.h", "a.png", "b.png"}, "one header and one picture at most; 'b.png' is a third"},
  };
  for (const auto& [args, message] : cases) {
    const ProgramResult run = preview(folder, args);
    EXPECT_EQ(run.exit_status, 1) << message;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(with_lf_line_ends(run.errors, message),
              "kestrin-preview: " + message + "\n" + kUsage);
  }
  EXPECT_EQ(list_folder(folder.path), Names({"pic.bmp", "pic.bmp.h"}));
}

struct Failure {
  const char* what;
  Names args;
  int status;
  std::string errors;
};

// Each failure prints its one message (a refused --compare picture also
// Kestrin's reason) and leaves the folder as it was: no PNG, no temporary.
TEST(PreviewCli, FailuresEndWithTheirStatusAndLeaveNothing) {
  TempFolder folder;
  make_header(folder, kWorked);
  write_file(folder.path + "/narrow.bmp", bmp_bytes(2, 2, {{kRed, kRed}, {kRed, kRed}}));
  write_file(folder.path + "/not.bmp", "GIF89a" + std::string(60, '\0'));
  // The headers of a 4096 x 4096 picture alone: its size is refused before its
  // pixels are looked for.
  std::string huge = bmp_bytes(2, 2, {{kRed, kRed}, {kRed, kRed}}).substr(0, 54);
  put_u32(&huge, kBiWidth, 4096);
  put_u32(&huge, kBiHeight, 4096);
  write_file(folder.path + "/huge.bmp", huge);
  write_file(folder.path + "/empty.h",
             "#define E_WIDTH (0)\n#define E_HEIGHT (5)\n#define E_SIZE (0)\n"
             "const u32 e_Bitmap[5*0]={\n};\n");
  const std::string header = read_file(folder.path + "/pic.bmp.h");
  write_file(folder.path + "/cut.h", header.substr(0, header.size() - 40));
  write_file(folder.path + "/long.h", header.substr(0, header.rfind("};")) + "0x00800080, };");
  const std::string p = "kestrin-preview: ";
  const Failure cases[] = {
      {"no header", {"none.h"}, 2, p + "cannot open none.h\n"},
      {"not a header",
       {"pic.bmp"},
       3,
       p + "pic.bmp:1: expected '#define <PREFIX>_WIDTH (<width>)', found 'BMN'\n"},
      {"cut short",
       {"cut.h"},
       3,
       p + "cut.h:12: expected ',' or '}' after a word, found the end of the file\n"},
      {"a word too many",
       {"long.h"},
       3,
       p + "long.h: the array holds 5 words, but width x height / 2 is 4\n"},
      {"no compare picture",
       {"--compare", "none.bmp", "pic.bmp.h"},
       4,
       p + "cannot open none.bmp\n"},
      {"compare picture not a BMP",
       {"--compare=not.bmp", "pic.bmp.h"},
       4,
       "Header error: bad type (0x4947)\n" + p +
           "not.bmp: kestrin does not convert this picture, so it cannot be compared\n"},
      {"compare picture of another size",
       {"--compare=narrow.bmp", "pic.bmp.h"},
       4,
       p + "narrow.bmp is 2 x 2 pixels, but the header is 4 x 2\n"},
      {"compare picture of another size, pixels missing",
       {"--compare=huge.bmp", "pic.bmp.h"},
       4,
       p + "huge.bmp is 4096 x 4096 pixels, but the header is 4 x 2\n"},
      {"empty picture",
       {"empty.h"},
       5,
       p + "empty.h: the picture is 0 x 5 pixels; a PNG needs at least one\n"},
      {"no such folder", {"pic.bmp.h", "none/pic.png"}, 6, p + "cannot create none/pic.png\n"},
      {"output is the header",
       {"pic.bmp.h", "pic.bmp.h"},
       6,
       p + "pic.bmp.h is the header itself\n"},
      {"output is the compare picture",
       {"--compare", "pic.bmp", "pic.bmp.h", "pic.bmp"},
       6,
       p + "pic.bmp is the picture of --compare; give the preview another name\n"},
  };
  const Names before = list_folder(folder.path);
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramResult run = preview(folder, c.args);
    EXPECT_EQ(run.exit_status, c.status);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(with_lf_line_ends(run.errors, c.what), c.errors);
    EXPECT_EQ(list_folder(folder.path), before);
  }
  EXPECT_EQ(read_file(folder.path + "/pic.bmp.h"), header);
#ifndef _WIN32
  // A FIFO is no file to replace, and the run must not wait on it.
  ASSERT_EQ(mkfifo((folder.path + "/fifo.png").c_str(), 0644), 0);
  const ProgramResult fifo = preview(folder, {"--compare", "pic.bmp", "pic.bmp.h", "fifo.png"});
  EXPECT_EQ(fifo.exit_status, 6);
  EXPECT_EQ(fifo.errors, p + "cannot create fifo.png\n");
  // A summary that cannot be written leaves no PNG that seems to have said it.
  const ProgramResult full = run_shell(
      "'" + std::string(PREVIEW_PATH) + "' --compare pic.bmp pic.bmp.h out.png >/dev/full",
      folder.path);
  EXPECT_EQ(full.exit_status, 7);
  EXPECT_EQ(full.errors, p + "cannot write the summary to standard output\n");
  EXPECT_FALSE(file_exists(folder.path + "/out.png"));
#endif
}

// The header of a picture of `width` x `height` holding `words`.
std::string header_of(std::uint32_t width, std::uint32_t height,
                      const std::vector<std::uint32_t>& words) {
  const std::string w = std::to_string(width), h = std::to_string(height);
  std::string text = "#define W_WIDTH (" + w + ")\n#define W_HEIGHT (" + h + ")\n#define W_SIZE (" +
                     std::to_string(std::uint64_t{width} * height) + ")\nconst u32 w_Bitmap[" + h +
                     "*" + w + "]={\n";
  char word[16];
  for (const std::uint32_t x : words) {
    std::snprintf(word, sizeof word, "0x%08X, ", x);
    text += word;
  }
  return text + "};\n";
}

// Every pixel comes back as the words give it, through each of the row
// filters and in rows that the writer holds to choose them, and in a row
// too long to hold, which goes out in pieces; a row longer than the program
// holds for --scale is refused, with its length.
TEST(PreviewCli, PixelsComeBackThroughTheFiltersAndInWideRows) {
  TempFolder folder;
  struct Case {
    std::uint32_t width, height;
    Names options;
  };
  const Case cases[] = {{400000, 1, {}}, {512, 16, {"--transparent"}}};
  std::uint32_t x = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    std::vector<std::uint32_t> words;
    for (std::uint64_t i = 0; i < std::uint64_t{c.width} * c.height / 2; ++i) {
      x = x * 1664525u + 1013904223u;
      words.push_back(i % 5 == 3 ? 0x69D469EA : x);
    }
    write_file(folder.path + "/wide.h", header_of(c.width, c.height, words));
    Names args = c.options;
    args.push_back("wide.h");
    ASSERT_EQ(preview(folder, args).exit_status, 0);
    const PngPixels png = png_pixels(read_file(folder.path + "/wide.h.png"));
    ASSERT_EQ(png.width, c.width);
    ASSERT_EQ(png.rgba.size(), 4 * std::size_t{c.width} * c.height);
    const bool transparent = !c.options.empty();
    for (std::size_t i = 0; i < words.size(); ++i) {
      const kestrin::preview::PairPixels p =
          kestrin::preview::decode_pair(words[i], kestrin::preview::Display::kConsole);
      const std::uint8_t alpha = transparent && words[i] == 0x69D469EA ? 0 : 255;
      const std::vector<std::uint8_t> expected = {p.rgb[0], p.rgb[1], p.rgb[2], alpha,
                                                  p.rgb[3], p.rgb[4], p.rgb[5], alpha};
      ASSERT_EQ(std::vector<std::uint8_t>(&png.rgba[8 * i], &png.rgba[8 * i] + 8), expected)
          << "pair " << i;
    }
  }

  write_file(folder.path + "/wide.h", header_of(400000, 1, std::vector<std::uint32_t>(200000)));
  const ProgramResult run = preview(folder, {"--scale=2", "wide.h", "scaled.png"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(with_lf_line_ends(run.errors, "refusal"),
            "kestrin-preview: wide.h: --scale and --compare hold a row, of at most 262144 pixels; "
            "this picture's rows have 400000\n");
  EXPECT_FALSE(file_exists(folder.path + "/scaled.png"));
}

#if defined(_WIN32) || defined(KL_SANITIZE)
TEST(PreviewCli, ReadsALineOfTwoGibibytesInLittleMemory) {
  GTEST_SKIP() << "needs a POSIX shell's ulimit, which the sanitizers' reservations exceed";
}
#else
// A comment of 2 GiB without a line end (a sparse file) in an otherwise
// good header, under a limit of 64 MiB of address space.
TEST(PreviewCli, ReadsALineOfTwoGibibytesInLittleMemory) {
  TempFolder folder;
  make_header(folder, kWorked);
  const std::string header = read_file(folder.path + "/pic.bmp.h");
  const std::size_t array = header.find("const u32");
  write_file(folder.path + "/long.h", header.substr(0, array) + "/*");
  const ProgramResult grow =
      run_shell("truncate -s +2G long.h && printf '*/' >> long.h && tail -c +" +
                    std::to_string(array + 1) + " pic.bmp.h >> long.h",
                folder.path);
  ASSERT_EQ(grow.exit_status, 0) << grow.output;
  const ProgramResult run =
      run_shell("ulimit -v 65536 && exec '" + std::string(PREVIEW_PATH) + "' long.h", folder.path);
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(read_file(folder.path + "/long.h.png"), golden("worked.png"));
}
#endif

}  // namespace
