#include "kestrin/converter.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "kestrin/bitmap_reader.h"
#include "kestrin/header_writer.h"
#include "kestrin/messages.h"

namespace {

// Colours of the short "-MP <file>" form.
constexpr Colour3 kDefaultKey{0xFF, 0x00, 0xFF};  // blue, green, red: 0xFF00FF
constexpr Colour3 kDefaultReplacement{0x00, 0x00, 0x00};

// Opens the input; a folder opens on some systems but is no picture.
std::FILE* open_input(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return nullptr;
  struct stat st;
  if (fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(in);
    return nullptr;
  }
  // Rows are read one at a time: a larger buffer saves most of the read calls.
  static char buffer[1 << 16];
  std::setvbuf(in, buffer, _IOFBF, sizeof buffer);
  return in;
}

int convert(const char* input_path, const MagicPink& magic) {
  std::printf(msg::kOpeningFile, input_path);
  std::FILE* in = open_input(input_path);
  if (in == nullptr) {
    std::printf(msg::kCantOpen, input_path);
    return kExitOpenInput;
  }

  FileHeader header;
  InfoHeader info;
  PixelBuffer pixels;
  int status = kExitSuccess;
  if (!read_file_header(in, &header)) {
    std::printf(msg::kCantReadHeader, 0);
    status = kExitFileHeader;
  } else if (!check_file_header(header, stdout)) {
    status = kExitFileHeader;
  } else if (!read_info_header(in, &info)) {
    std::printf(msg::kCantReadInfoHeader, 0);
    status = kExitInfoHeader;
  } else if (!check_info_header(info, stdout)) {
    status = kExitInfoHeader;
  } else if (!load_pixels(in, info, header, &pixels, stdout)) {
    status = kExitPixels;
  }
  std::fclose(in);
  if (status != kExitSuccess) return status;

  if (!write_header_file(input_path, pixels, magic, stdout)) return kExitOutput;
  std::fputs(msg::kDone, stdout);
  return kExitSuccess;
}

}  // namespace

void print_usage() {
  std::fputs(msg::kUsage1, stdout);
  std::fputs(msg::kUsage2, stdout);
  std::fputs(msg::kUsage3, stdout);
}

bool scan_colour(const char* text, Colour3* colour) {
  int value = 0;
  if (std::sscanf(text, "%i", &value) != 1) return false;
  const auto v = static_cast<unsigned>(value);
  colour->red = static_cast<std::uint8_t>(v >> 16);
  colour->green = static_cast<std::uint8_t>(v >> 8);
  colour->blue = static_cast<std::uint8_t>(v);
  return true;
}

int run_converter(int argc, char** argv) {
  std::fputs(msg::kBanner, stdout);

  MagicPink magic;
  const char* input_path = nullptr;
  switch (argc) {
    case 2:
      input_path = argv[1];
      break;
    case 3:  // the switch itself is not examined: any text turns Magic Pink on
      magic = MagicPink{true, kDefaultKey, kDefaultReplacement};
      input_path = argv[2];
      break;
    case 5:
      magic.enabled = true;
      if (!scan_colour(argv[2], &magic.key) || !scan_colour(argv[3], &magic.replacement)) {
        print_usage();
        return kExitUsage;
      }
      input_path = argv[4];
      break;
    default:
      print_usage();
      return kExitUsage;
  }

  if (magic.enabled) {
    std::printf(msg::kMagicPinkOn, magic.key.red, magic.key.green, magic.key.blue,
                magic.replacement.red, magic.replacement.green, magic.replacement.blue);
  }
  return convert(input_path, magic);
}
