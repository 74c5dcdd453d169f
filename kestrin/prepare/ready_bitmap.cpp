// Kestrin's own reader, run silently over a file in memory.

#include "kestrin/prepare/ready_bitmap.h"

#include "kestrin/bitmap_reader.h"
#include "platform/memory_streams.h"

namespace kestrin::prepare {

bool read_ready_bitmap(const std::uint8_t* bytes, std::size_t size, Picture* picture) {
  platform::MemoryInput memory{bytes, size, 0, 0};
  const platform::ByteSource in = platform::memory_source(&memory, true);
  FileHeader header;
  InfoHeader info;
  PixelBuffer pixels;
  if (!read_file_header(in, &header) || !check_file_header(header, nullptr) ||
      !read_info_header(in, &info) || !check_info_fields(info, nullptr) ||
      !load_pixels(in, info, header, &pixels, nullptr)) {
    return false;
  }
  // The pixels as Kestrin will see them, for the report.
  picture->width = pixels.width;
  picture->height = pixels.height;
  picture->rgba.resize(std::size_t{pixels.width} * pixels.height * 4);
  std::uint8_t* to = picture->rgba.data();
  PixelRun pixel_run;
  for (;;) {
    const RunResult result = next_pixel_run(&pixels, &pixel_run);
    if (result == RunResult::kEnd) return true;
    if (result == RunResult::kReadFailed) return false;
    for (std::size_t i = 0; i < pixel_run.pairs * 2; ++i, to += 4) {
      const std::uint8_t* bgr = pixel_run.pixels + 3 * i;
      to[0] = bgr[2];
      to[1] = bgr[1];
      to[2] = bgr[0];
      to[3] = 0xFF;
    }
  }
}

}  // namespace kestrin::prepare
