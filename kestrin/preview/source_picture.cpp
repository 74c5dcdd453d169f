// Opening the picture of --compare through Kestrin's reader, and its rows as RGB.

#include "kestrin/preview/source_picture.h"

#include "kestrin/bitmap_reader.h"
#include "kestrin/messages.h"

namespace kestrin::preview {

namespace {

SourceResult check_and_load(std::uint32_t width, std::uint32_t height, SourcePicture* source,
                            std::FILE* console) {
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
  if (!check_info_fields(info, console)) return SourceResult::kRefused;
  // The checks leave a width of 0 or more; a negative height stores the rows top-down.
  const std::int64_t rows = info.biHeight;
  source->width = static_cast<std::uint32_t>(info.biWidth);
  source->height = static_cast<std::uint32_t>(rows < 0 ? -rows : rows);
  if (source->width != width || source->height != height) return SourceResult::kOtherSize;
  return load_pixels(in, info, header, &source->pixels, console) ? SourceResult::kReady
                                                                 : SourceResult::kRefused;
}

}  // namespace

SourceResult open_source_picture(const char* path, std::uint32_t width, std::uint32_t height,
                                 SourcePicture* source, std::FILE* console) {
  *source = SourcePicture();
  if (!platform::open_input(path, &source->input)) return SourceResult::kCannotOpen;
  const SourceResult result = check_and_load(width, height, source, console);
  if (result != SourceResult::kReady) close_source_picture(source);
  return result;
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

void rewind_source_picture(SourcePicture* source) {
  // The reader hands out rows by where it has got to; the rows themselves
  // are read again from where the file holds them, or from the whole copy.
  source->pixels.next_row = 0;
  source->pixels.next_pair = 0;
}

void close_source_picture(SourcePicture* source) { platform::close_input(&source->input); }

}  // namespace kestrin::preview
