// The PNG's rows of one picture row, built piece by piece in a buffer of fixed size.

#include "kestrin/preview/panel_rows.h"

#include <cstring>

#include "kestrin/key_colour_report.h"
#include "kestrin/preview/comparison.h"

namespace kestrin::preview {

namespace {

// Rows are built here and handed to the writer when it is full; the buffer
// is the program's own, as the writer's chunk.
constexpr std::size_t kStage = 64 * 1024;
constexpr std::size_t kLargestPixel = 4 * 16;  // four channels, scale 16 (or the gap)
std::uint8_t g_stage[kStage];

struct Stage {
  PngWriter* png;
  std::size_t used;
};

bool flush(Stage* stage) {
  const bool written = png_put(stage->png, g_stage, stage->used);
  stage->used = 0;
  return written;
}

// Puts one pixel (`channels` bytes at `pixel`) `scale` times over.
inline bool put_pixel(Stage* stage, const std::uint8_t* pixel, unsigned channels, unsigned scale) {
  if (kStage - stage->used < kLargestPixel && !flush(stage)) return false;
  std::uint8_t* out = g_stage + stage->used;
  for (unsigned i = 0; i < scale; ++i, out += channels) std::memcpy(out, pixel, channels);
  stage->used += std::size_t{channels} * scale;
  return true;
}

bool put_source(Stage* stage, const PanelLayout& l, const std::uint8_t* source) {
  for (std::uint32_t x = 0; x < l.width; ++x, source += 3) {
    const std::uint8_t pixel[4] = {
        source[0], source[1], source[2],
        static_cast<std::uint8_t>(is_key_colour(source, l.key) ? 0 : 255)};
    if (!put_pixel(stage, pixel, l.channels, l.scale)) return false;
  }
  return true;
}

bool put_differences(Stage* stage, const PanelLayout& l, const std::uint8_t* preview,
                     const std::uint8_t* source, const std::uint8_t* reference) {
  for (std::uint32_t x = 0; x < l.width; ++x, preview += l.channels, source += 3, reference += 3) {
    if (is_near_key(source, 3, l.key)) {
      if (!put_pixel(stage, kNearKeyMark, l.channels, l.scale)) return false;
      continue;
    }
    const bool hidden = both_transparent(preview, l.channels, source, l.key);
    const std::uint8_t pixel[4] = {
        hidden ? std::uint8_t{0} : difference_level(preview[0], reference[0]),
        hidden ? std::uint8_t{0} : difference_level(preview[1], reference[1]),
        hidden ? std::uint8_t{0} : difference_level(preview[2], reference[2]), 255};
    if (!put_pixel(stage, pixel, l.channels, l.scale)) return false;
  }
  return true;
}

bool put_gap(Stage* stage, const PanelLayout& l) {
  return put_pixel(stage, kGapColour, l.channels, kPanelGap);
}

}  // namespace

std::uint64_t panel_width(const PanelLayout& layout) {
  return std::uint64_t{layout.width} * layout.scale * layout.panels +
         std::uint64_t{kPanelGap} * (layout.panels - 1);
}

bool put_panel_rows(PngWriter* png, const PanelLayout& l, const std::uint8_t* preview,
                    const std::uint8_t* source, const std::uint8_t* reference) {
  Stage stage{png, 0};
  for (unsigned row = 0; row < l.scale; ++row) {
    const std::uint8_t* pixel = preview;
    for (std::uint32_t x = 0; x < l.width; ++x, pixel += l.channels) {
      if (!put_pixel(&stage, pixel, l.channels, l.scale)) return false;
    }
    if (l.panels == 3 &&
        (!put_gap(&stage, l) || !put_source(&stage, l, source) || !put_gap(&stage, l) ||
         !put_differences(&stage, l, preview, source, reference))) {
      return false;
    }
  }
  return flush(&stage);
}

}  // namespace kestrin::preview
