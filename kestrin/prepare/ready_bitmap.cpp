// Kestrin's own reader, run silently, over a BMP that is ready as it is.

#include "kestrin/prepare/ready_bitmap.h"

#include <vector>

#include "kestrin/bitmap_reader.h"

namespace kestrin::prepare {

bool open_ready_bitmap(const platform::ByteSource& in, PixelBuffer* pixels) {
  FileHeader header;
  InfoHeader info;
  return read_file_header(in, &header) && check_file_header(header, nullptr) &&
         read_info_header(in, &info) && check_info_fields(info, nullptr) &&
         load_pixels(in, info, header, pixels, nullptr);
}

bool count_ready_traps(PixelBuffer* pixels, const Colour3& key, KeyColourReport* report) {
  std::vector<std::uint8_t> rgb;
  PixelRun run;
  for (std::uint32_t y = 0;;) {
    const RunResult result = next_pixel_run(pixels, &run);
    if (result == RunResult::kEnd) return true;
    if (result == RunResult::kReadFailed) return false;
    // The run's pixels are blue, green, red, as the file stores them.
    rgb.resize(run.pairs * 6);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      rgb[i] = run.pixels[i + 2];
      rgb[i + 1] = run.pixels[i + 1];
      rgb[i + 2] = run.pixels[i];
    }
    const PicturePlace first{static_cast<std::uint32_t>(2 * run.first_pair), y};
    count_near_key(report, rgb.data(), 3, rgb.size() / 3, first, key);
    count_lone_key(report, rgb.data(), 3, rgb.size() / 3, first, key);
    if (run.ends_row) ++y;
  }
}

}  // namespace kestrin::prepare
