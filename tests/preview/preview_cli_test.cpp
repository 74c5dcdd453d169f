// Runs the built kestrin-preview on headers that kestrin wrote: golden
// pictures byte for byte, other readers of its PNGs, and every way a run
// can fail.

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kestrin/bmp_bytes.h"
#include "kestrin/preview/pair_decoding.h"
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
  // Worked by hand: the differences of red are 91 and 88 (red, black) and
  // 14 and 15 (blue, white) over eight pixels; both top pairs mix colours
  // whose chroma lies 127 levels apart.
  EXPECT_EQ(run.output,
            "kestrin-preview: pic.bmp.h against pic.bmp: mean difference R 26.00 G 8.50 B 18.88, "
            "largest R 91 G 39 B 114; 2 of 4 pairs mix very different colours\n");
  EXPECT_EQ(read_file(folder.path + "/compare.png"), golden("worked-compare.png"));

  TempFolder sprite;
  make_header(sprite, kSprite, {"-MP"});
  run = preview(sprite, {"--transparent", "--scale", "2", "--display", "full", "pic.bmp.h"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(read_file(sprite.path + "/pic.bmp.h.png"), golden("sprite-transparent.png"));
  EXPECT_EQ(list_folder(sprite.path), Names({"pic.bmp", "pic.bmp.h", "pic.bmp.h.png"}));

  // The pairs wholly of the key show nothing in either picture: no
  // difference. The lone key pixel that kestrin painted black is one: 167,
  // 0 and 255 levels off, beside 91, 39, 37 for red.
  run = preview(
      sprite, {"--display=full", "--transparent", "--compare=pic.bmp", "pic.bmp.h", "compare.png"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output,
            "kestrin-preview: pic.bmp.h against pic.bmp: mean difference R 32.25 G 4.88 B 36.50, "
            "largest R 167 G 39 B 255; 1 of 4 pairs mix very different colours\n");
  EXPECT_EQ(read_file(sprite.path + "/compare.png"), golden("sprite-compare.png"));
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
        "w = Image.open(\"worked.png\"); n = Image.open(\"noise.png\"); n.load()\n"
        "print(w.mode, list(w.getdata()), n.mode, n.size)'",
        folder.path);
    EXPECT_EQ(pillow.output,
              "RGB [(170, 27, 25), (82, 0, 0), (0, 0, 142), (255, 255, 255), (255, 255, 255), "
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
#endif
}

// The rows of a PNG written with stored blocks, as this program writes them,
// read back without zlib: the zlib stream's blocks are copied out.
std::string stored_rows(const std::string& png, std::uint32_t* width) {
  const auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  *width = u32(16);
  std::string stream;
  for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + u32(at)) {
    if (png.compare(at + 4, 4, "IDAT") == 0) stream += png.substr(at + 8, u32(at));
  }
  std::string rows;
  for (std::size_t at = 2; at + 5 <= stream.size();) {  // after the zlib header
    const std::size_t size = static_cast<unsigned char>(stream[at + 1]) |
                             static_cast<unsigned char>(stream[at + 2]) << 8;
    rows += stream.substr(at + 5, size);
    at += 5 + size;
    if (stream[at - 5 - size] & 1) break;  // the final block
  }
  return rows;
}

// A row longer than the program decodes at once goes out in pieces, whole;
// one longer than it may hold is refused for --scale, with its length.
TEST(PreviewCli, WideRowsGoOutWholeOrAreRefused) {
  TempFolder folder;
  const std::uint32_t width = 262146;  // 131073 pairs
  std::string header =
      "#define W_WIDTH (262146)\n#define W_HEIGHT (1)\n#define W_SIZE (262146)\n"
      "const u32 w_Bitmap[1*262146]={\n";
  std::vector<std::uint32_t> words;
  std::uint32_t x = 3;
  char text[16];
  for (std::uint32_t i = 0; i < width / 2; ++i) {
    x = x * 1664525u + 1013904223u;
    words.push_back(x);
    std::snprintf(text, sizeof text, "0x%08X, ", x);
    header += text;
  }
  write_file(folder.path + "/wide.h", header + "};\n");
  ASSERT_EQ(preview(folder, {"wide.h"}).exit_status, 0);
  std::uint32_t png_width = 0;
  const std::string rows = stored_rows(read_file(folder.path + "/wide.h.png"), &png_width);
  EXPECT_EQ(png_width, width);
  ASSERT_EQ(rows.size(), 1 + 3 * std::size_t{width});
  for (std::size_t i = 0; i < words.size(); ++i) {
    const kestrin::preview::PairPixels p =
        kestrin::preview::decode_pair(words[i], kestrin::preview::Display::kConsole);
    ASSERT_EQ(rows.substr(1 + 6 * i, 6), std::string(p.rgb, p.rgb + 6)) << "pair " << i;
  }

  const ProgramResult run = preview(folder, {"--scale=2", "wide.h", "scaled.png"});
  EXPECT_EQ(run.exit_status, 5);
  EXPECT_EQ(with_lf_line_ends(run.errors, "refusal"),
            "kestrin-preview: wide.h: --scale and --compare hold a row, of at most 262144 pixels; "
            "this picture's rows have 262146\n");
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
