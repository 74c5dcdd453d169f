// The command line and the order of the steps: banner, arguments, input,
// headers, pixels, header file.

#include "kestrin/converter.h"

#include <cstdio>
#include <string>

#include "kestrin/bitmap_reader.h"
#include "kestrin/colour_argument.h"
#include "kestrin/header_writer.h"
#include "kestrin/messages.h"
#include "platform/input_file.h"

namespace kestrin {

namespace {

// Colours of the short "-MP <file>" form.
constexpr Colour3 kDefaultKey{0xFF, 0x00, 0xFF};  // blue, green, red: 0xFF00FF
constexpr Colour3 kDefaultReplacement{0x00, 0x00, 0x00};

int read_and_write(const char* input_path, platform::InputFile* input, const MagicPink& magic) {
  const ByteSource source = platform::input_source(input);
  FileHeader header;
  InfoHeader info;
  PixelBuffer pixels;
  if (!read_file_header(source, &header)) {
    std::printf(kCantReadHeader, 0);
    return kExitFileHeader;
  }
  if (!check_file_header(header, stdout)) return kExitFileHeader;
  if (!read_info_header(source, &info)) {
    std::printf(kCantReadInfoHeader, 0);
    return kExitInfoHeader;
  }
  if (!check_info_header(info, stdout)) return kExitInfoHeader;
  if (!load_pixels(source, info, header, &pixels, stdout)) return kExitPixels;
  switch (write_header_file(input_path, *input, &pixels, magic, stdout)) {
    case HeaderResult::kWritten:
      std::fputs(kDone, stdout);
      return kExitSuccess;
    case HeaderResult::kReadFailed:
      return kExitPixels;
    case HeaderResult::kCannotCreate:
    case HeaderResult::kIsInput:
    case HeaderResult::kWriteFailed:
      break;
  }
  return kExitOutput;
}

int convert(const char* input_path, const MagicPink& magic) {
  std::printf(kOpeningFile, input_path);
  platform::InputFile input;
  if (!platform::open_input(input_path, &input)) {
    std::printf(kCantOpen, input_path);
    return kExitOpenInput;
  }
  const int status = read_and_write(input_path, &input, magic);
  platform::close_input(&input);
  return status;
}

}  // namespace

void print_usage() {
  std::fputs(kUsage1, stdout);
  std::fputs(kUsage2, stdout);
  std::fputs(kUsage3, stdout);
}

int run_converter(int argc, char** argv) {
  std::fputs(kBanner, stdout);

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
    std::printf(kMagicPinkOn, magic.key.red, magic.key.green, magic.key.blue, magic.replacement.red,
                magic.replacement.green, magic.replacement.blue);
  }
  return convert(input_path, magic);
}

}  // namespace kestrin
