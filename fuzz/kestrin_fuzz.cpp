// Feeds arbitrary bytes through the converter's reader and writer, in memory,
// and checks what they produce against a model of the format written here,
// apart from the converter's own code: which headers pass, whether the pixels
// load, and every byte of the header text. Any difference aborts.
//
// The Magic Pink settings come from the input's last seven bytes. In a
// bottom-up file without trailing bytes the key is then the top row's last
// pixel, so the colour-key rule meets its key often. One bit of them reads
// the input as a pipe (forwards only, held whole) instead of a file.
//
// The text is compared byte by byte up to kComparedBytes; past that its lines
// and bytes are counted, so that a picture of many empty rows costs little.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "fuzz/text_cookie.h"
#include "kestrin/bitmap_reader.h"
#include "kestrin/header_writer.h"
#include "platform/memory_streams.h"

namespace {

using namespace kestrin;
using platform::memory_source;
using platform::MemoryInput;

// A width-0 picture writes one empty line per row, up to 2^31 of them; longer
// texts than this are not worth the time of one input.
constexpr std::uint64_t kMaxTextBytes = 128 << 10;
constexpr std::uint64_t kComparedBytes = 64 << 10;

std::uint32_t u32_at(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

unsigned u16_at(const std::uint8_t* p) { return unsigned{p[0]} | unsigned{p[1]} << 8; }

struct Rgb {
  int red, green, blue;
  bool operator==(const Rgb& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

Rgb rgb_at(const std::uint8_t* p) { return Rgb{p[2], p[1], p[0]}; }

// The pair word straight from its definition: luma weights 299/587/114 per
// mille, chroma in units of 1e-5 offset by 128, each pixel rounded down, then
// the pair's two chroma values averaged and rounded down.
std::uint32_t model_word(Rgb a, Rgb b) {
  auto y = [](Rgb p) { return (299 * p.red + 587 * p.green + 114 * p.blue) / 1000; };
  auto cb = [](Rgb p) {
    return (12800000L - 16874L * p.red - 33126L * p.green + 50000L * p.blue) / 100000L;
  };
  auto cr = [](Rgb p) {
    return (12800000L + 50000L * p.red - 41869L * p.green - 8131L * p.blue) / 100000L;
  };
  const long parts[4] = {y(a), (cb(a) + cb(b)) / 2, y(b), (cr(a) + cr(b)) / 2};
  std::uint32_t word = 0;
  for (long part : parts) {
    check(part >= 0 && part <= 255, "a pair component outside 0..255");
    word = word << 8 | static_cast<std::uint32_t>(part);
  }
  return word;
}

struct Model {
  const std::uint8_t* data;
  std::size_t size;
  std::uint32_t offset;
  std::uint64_t width, rows, fill;
  bool top_down;
  bool magic;
  Rgb key, replacement;

  // Pixel (x, y) of the picture, y = 0 being the top row, as the file holds it.
  Rgb pixel(std::uint64_t x, std::uint64_t y) const {
    const std::uint64_t file_row = top_down ? y : rows - 1 - y;
    return rgb_at(data + offset + file_row * (3 * width + fill) + 3 * x);
  }
};

// The expected message of the first info-header rule that fails, or "".
std::string expected_rejection(const std::uint8_t* info) {
  char line[128] = "";
  const auto width = static_cast<std::int32_t>(u32_at(info + 4));
  const auto as_int = [](std::uint32_t v) {
    return static_cast<int>(static_cast<std::int32_t>(v));
  };
  if (u32_at(info) != 40) {
    std::snprintf(line, sizeof line, "bad header size (0x%d)", as_int(u32_at(info)));
  } else if (width < 0) {
    std::snprintf(line, sizeof line, "bad width (%d)", width);
  } else if (width % 2 != 0) {
    std::snprintf(line, sizeof line, "width is not a multiple of 2 (0x%d)", width);
  } else if (u32_at(info + 16) != 0) {
    std::snprintf(line, sizeof line, "compression not supported (0x%d)", as_int(u32_at(info + 16)));
  } else if (u32_at(info + 32) != 0) {
    std::snprintf(line, sizeof line, "indexed colors not supported (%d)",
                  as_int(u32_at(info + 32)));
  } else if (u16_at(info + 12) != 1) {
    std::snprintf(line, sizeof line, "only one plane supported (%u)", u16_at(info + 12));
  } else if (u16_at(info + 14) != 24) {
    std::snprintf(line, sizeof line, "only 24 bit color depth supported (%u)", u16_at(info + 14));
  } else {
    return "";
  }
  return std::string("ERROR: Info Header error: ") + line + "\n";
}

std::string expected_dump(const std::uint8_t* info) {
  char text[256];
  const auto s32 = [](std::uint32_t v) { return static_cast<int>(static_cast<std::int32_t>(v)); };
  std::snprintf(text, sizeof text,
                "\tInfoHeader: header size=%d, Width, Height=(%d,%d)\n"
                "\tInfoHeader: planes=%u, bits=%u, compression=%d, image size (bytes)=%d\n",
                s32(u32_at(info)), s32(u32_at(info + 4)), s32(u32_at(info + 8)), u16_at(info + 12),
                u16_at(info + 14), s32(u32_at(info + 16)), s32(u32_at(info + 20)));
  return text;
}

// Produces the header text the model expects, one piece at a time.
struct ExpectedText {
  const Model& model;
  std::string pending;
  std::size_t at = 0;          // into `pending`
  std::uint64_t next_row = 0;  // the picture row that `pending` is refilled from
  bool tail_given = false;

  bool refill() {
    pending.clear();
    at = 0;
    if (next_row < model.rows) {
      const std::uint64_t y = next_row++;
      char word[16];
      for (std::uint64_t x = 0; x < model.width; x += 2) {  // the width is even
        if (x > 0 && x % 16 == 0) pending += '\n';
        Rgb left = model.pixel(x, y), right = model.pixel(x + 1, y);
        if (model.magic) {
          const bool left_key = left == model.key, right_key = right == model.key;
          if (left_key && !right_key) left = model.replacement;
          if (right_key && !left_key) right = model.replacement;
        }
        std::snprintf(word, sizeof word, "0x%08X, ",
                      static_cast<unsigned>(model_word(left, right)));
        pending += word;
      }
      pending += '\n';
      return true;
    }
    if (tail_given) return false;
    tail_given = true;
    pending = "};\n/* END OF FILE */\n";
    return true;
  }
};

// Compares what the writer writes with the expected text as it arrives, up
// to kComparedBytes; after that counts its bytes and lines.
struct TextChecker {
  ExpectedText* expected;
  std::uint64_t position = 0;
  std::uint64_t lines = 0;

  static bool take(void* self, const char* data, std::size_t size) {
    auto* c = static_cast<TextChecker*>(self);
    for (std::size_t i = 0; i < size; ++i, ++c->position) {
      c->lines += data[i] == '\n';
      if (c->position >= kComparedBytes) continue;
      ExpectedText& e = *c->expected;
      if (e.at == e.pending.size() && !e.refill()) {
        fail("text goes on past its end at byte " + std::to_string(c->position));
      }
      if (data[i] != e.pending[e.at]) {
        fail("header text differs at byte " + std::to_string(c->position) + ": expected '" +
             e.pending.substr(e.at, 24) + "', got '" +
             std::string(data + i, std::min<std::size_t>(size - i, 24)) + "'");
      }
      ++e.at;
    }
    return true;
  }
};

// Runs the reader as the converter does; returns the console text and whether
// the pixels loaded.
bool read_bitmap(const ByteSource& in, FileHeader* header, InfoHeader* info, PixelBuffer* pixels,
                 std::string* console_text) {
  std::FILE* console = open_text_cookie(platform::append_to_string, console_text);
  const bool loaded = read_file_header(in, header) && check_file_header(*header, console) &&
                      read_info_header(in, info) && check_info_header(*info, console) &&
                      load_pixels(in, *info, *header, pixels, console);
  std::fclose(console);
  return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* settings = size >= 7 ? data + size - 7 : nullptr;
  MemoryInput memory;
  memory.data = data;
  memory.size = size;
  const ByteSource source = memory_source(&memory, settings == nullptr || (settings[0] & 2) == 0);
  FileHeader header;
  InfoHeader info;
  PixelBuffer pixels;
  std::string console;
  const bool loaded = read_bitmap(source, &header, &info, &pixels, &console);

  // Headers: "BM", then the dump and the first failing rule.
  if (size < 14) {
    check(!loaded && console.empty(), "a file shorter than its file header");
    return 0;
  }
  if (data[0] != 'B' || data[1] != 'M') {
    char line[64];
    std::snprintf(line, sizeof line, "Header error: bad type (0x%x)\n", u16_at(data));
    check(!loaded && console == line, [&] { return std::string("the type message: " + console); });
    return 0;
  }
  if (size < 54) {
    check(!loaded && console.empty(), "a file shorter than its info header");
    return 0;
  }
  const std::uint8_t* raw_info = data + 14;
  const std::string dump = expected_dump(raw_info);
  const std::string rejection = expected_rejection(raw_info);
  if (!rejection.empty()) {
    check(!loaded && console == dump + rejection,
          [&] { return std::string("the info header verdict: " + console); });
    return 0;
  }

  // Pixels: they load exactly when the file holds every row from the offset
  // on (the last row's fill may be missing), from a pipe as from a file.
  Model model{};
  model.data = data;
  model.size = size;
  model.offset = u32_at(data + 10);
  const auto width = static_cast<std::int32_t>(u32_at(raw_info + 4));
  const auto height = static_cast<std::int64_t>(static_cast<std::int32_t>(u32_at(raw_info + 8)));
  model.width = static_cast<std::uint64_t>(width);
  model.rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
  model.top_down = height < 0;
  model.fill = model.width % 4;
  const bool empty = model.width == 0 || model.rows == 0;
  // Row sizes stay below 2^33 and row counts below 2^32, so no product overflows.
  const bool present =
      empty || (model.offset < size &&
                model.rows * (3 * model.width + model.fill) - model.fill <= size - model.offset);
  check(loaded == present, [&] {
    return std::string(std::string("pixels ") + (loaded ? "loaded" : "refused") +
                       " although the file " + (present ? "holds" : "lacks") + " them");
  });
  if (!loaded) {
    check(console == dump + "Image read failed\n",
          [&] { return std::string("the pixel failure message: " + console); });
    return 0;
  }
  check(console == dump,
        [&] { return std::string("a loaded picture adds to the console: " + console); });
  check(pixels.width == model.width && pixels.height == model.rows, "the picture's size");

  // Text: every row is a line, words are 12 bytes, a break every eight.
  const std::uint64_t pairs = model.width / 2;
  const std::uint64_t row_lines = pairs == 0 ? 1 : (pairs - 1) / 8 + 1;
  const std::uint64_t row_text = 12 * pairs + row_lines;
  if (model.rows * row_text > kMaxTextBytes) return 0;

  MagicPink magic;
  if (settings != nullptr) {
    magic.enabled = (settings[0] & 1) != 0;
    magic.replacement = Colour3{settings[1], settings[2], settings[3]};
    magic.key = Colour3{settings[4], settings[5], settings[6]};
  }
  model.magic = magic.enabled;
  model.key = Rgb{magic.key.red, magic.key.green, magic.key.blue};
  model.replacement = Rgb{magic.replacement.red, magic.replacement.green, magic.replacement.blue};

  ExpectedText expected{model, {}, 0, 0, false};
  const std::string w = std::to_string(model.width), h = std::to_string(model.rows);
  expected.pending = "/*\n * File  : fuzz.bmp\n * Width : " + w + "\n * Height: " + h +
                     "\n*/\n#define FUZZ_WIDTH   (" + w + ")\n#define FUZZ_HEIGHT  (" + h +
                     ")\n#define FUZZ_SIZE   (" + std::to_string(model.width * model.rows) +
                     ")\n\nconst u32 fuzz_Bitmap[" + h + "*" + w + "]={\n";
  const std::uint64_t head_bytes = expected.pending.size();
  TextChecker checker{&expected};
  const HeaderResult result =
      write_header_text("fuzz.bmp", &pixels, magic, {TextChecker::take, &checker});
  check(result == HeaderResult::kWritten, "the writer reported a failure");
  const std::string tail = "};\n/* END OF FILE */\n";
  check(checker.position == head_bytes + model.rows * row_text + tail.size(), [&] {
    return std::string("the header text has " + std::to_string(checker.position) + " bytes");
  });
  check(checker.lines == 12 + model.rows * row_lines, "the header text's lines");
  if (checker.position <= kComparedBytes) {
    check(expected.at == expected.pending.size() && !expected.refill(), [&] {
      return std::string("the header text ends early, after " + std::to_string(checker.position) +
                         " bytes");
    });
  }
  return 0;
}
