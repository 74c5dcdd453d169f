// Fuzz target for kestrin-prepare's picture reader and BMP writer: any bytes
// are refused with a reason, or read within the limits; a picture that is
// read and prepared is written as a BMP that Kestrin's own reader takes, and
// reads back as the prepared pixels.
//
// The first byte chooses the alpha threshold; the rest is the file.

#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "kestrin/bitmap_reader.h"
#include "kestrin/prepare/bmp_writer.h"
#include "kestrin/prepare/picture_reader.h"
#include "kestrin/prepare/preparation.h"
#include "kestrin/prepare/ready_bitmap.h"
#include "platform/memory_streams.h"

using namespace kestrin::prepare;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned threshold = data[0];
  ++data;
  --size;
  Picture picture;
  PictureProblem problem;
  if (!read_picture(data, size, &picture, &problem)) {
    check(problem.kind != PictureProblem::Kind::kNone, "a refusal without a reason");
    check(problem.kind != PictureProblem::Kind::kTooLarge || problem.width > kMaxSide ||
              problem.height > kMaxSide || problem.width * problem.height > kMaxPixels,
          "a picture within the limits refused as too large");
    return 0;
  }
  check(picture.width > 0 && picture.height > 0 && picture.width <= kMaxSide &&
            picture.height <= kMaxSide &&
            std::uint64_t{picture.width} * picture.height <= kMaxPixels,
        "a picture read outside the limits");
  check(picture.rgba.size() == std::size_t{picture.width} * picture.height * 4,
        "pixels that are not width x height");

  PreparedPicture prepared;
  const kestrin::Colour3 key{0xFF, 0x00, 0xFF};
  prepare_pixels(picture, key, threshold, &prepared);
  check(prepared.width % 2 == 0 && prepared.width - picture.width < 2 &&
            prepared.height == picture.height,
        "a prepared size that is not the picture's, made even");
  std::string bmp;
  check(write_bmp(platform::ByteSink{platform::append_to_string, &bmp}, prepared.width,
                  prepared.height, prepared.rgb.data()),
        "a BMP that could not be written to memory");
  platform::MemoryInput memory{reinterpret_cast<const std::uint8_t*>(bmp.data()), bmp.size(), 0, 0};
  kestrin::PixelBuffer back;
  check(open_ready_bitmap(platform::memory_source(&memory, true), &back),
        "a written BMP that Kestrin does not read");
  check(back.width == prepared.width && back.height == prepared.height,
        "a written BMP of another size");
  const std::uint8_t* expected = prepared.rgb.data();
  kestrin::PixelRun run;
  kestrin::RunResult result;
  while ((result = kestrin::next_pixel_run(&back, &run)) == kestrin::RunResult::kRun) {
    for (std::size_t i = 0; i < run.pairs * 2; ++i, expected += 3) {
      const std::uint8_t* bgr = run.pixels + 3 * i;
      check(bgr[2] == expected[0] && bgr[1] == expected[1] && bgr[0] == expected[2],
            "a written pixel that reads back otherwise");
    }
  }
  check(result == kestrin::RunResult::kEnd && expected == prepared.rgb.data() + prepared.rgb.size(),
        "a written BMP that does not read back whole");
  return 0;
}
