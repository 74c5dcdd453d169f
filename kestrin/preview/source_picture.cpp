// Opening the picture of --compare through Kestrin's reader, and its rows as RGB.

#include "kestrin/preview/source_picture.h"

#include "kestrin/bitmap_reader.h"
#include "kestrin/messages.h"

namespace kestrin::preview {

SourceResult open_source_picture(const char* path, SourcePicture* source, std::FILE* console) {
  *source = SourcePicture();
  if (!platform::open_input(path, &source->input)) return SourceResult::kCannotOpen;
  const platform::ByteSource in = platform::input_source(&source->input);
  FileHeader header;
  InfoHeader info;
  // The messages are Kestrin's, without its dump of the info header.
  if (!read_file_header(in, &header)) {
    std::fprintf(console, kCantReadHeader, 0);
    return SourceResult::kRefused;
  }
  if (!check_file_header(header, console)) return SourceResult::kRefused;
  if (!read_info_header(in, &info)) {
    std::fprintf(console, kCantReadInfoHeader, 0);
    return SourceResult::kRefused;
  }
  if (!check_info_fields(info, console) ||
      !load_pixels(in, info, header, &source->pixels, console)) {
    return SourceResult::kRefused;
  }
  return SourceResult::kReady;
}

bool read_source_row(SourcePicture* source, std::uint8_t* rgb) {
  PixelRun run;
  do {
    if (next_pixel_run(&source->pixels, &run) != RunResult::kRun) return false;
    std::uint8_t* out = rgb + 6 * run.first_pair;
    const std::uint8_t* in = run.pixels;
    for (std::size_t i = 0; i < 2 * run.pairs; ++i, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  } while (!run.ends_row);
  return true;
}

void close_source_picture(SourcePicture* source) { platform::close_input(&source->input); }

}  // namespace kestrin::preview
