// Laying out the PNG's rows: the preview, and beside it the source and the differences.
#pragma once

// Each row of the header becomes `scale` rows of the PNG, each pixel `scale`
// pixels wide. With a source picture, three panels of the picture's width
// stand side by side, a gap between each two: the preview, the source, and
// where they differ.

#include <cstdint>

#include "kestrin/bitmap.h"
#include "kestrin/preview/png_writer.h"

namespace kestrin::preview {

struct PanelLayout {
  std::uint32_t width = 0;  // of the picture, in its own pixels
  unsigned channels = 3;    // of the PNG: 3, or 4 when transparency is shown
  unsigned scale = 1;
  unsigned panels = 1;  // 1, or 3 with a source picture
  Colour3 key;          // with 4 channels, source pixels of this colour are transparent
};

// The gap between two panels, in the PNG's pixels whatever the scale: a
// neutral grey that no picture's edge runs into, or transparent where
// transparency is shown.
inline constexpr unsigned kPanelGap = 4;
inline constexpr std::uint8_t kGapColour[4] = {128, 128, 128, 0};

// In the differences, a source pixel near the key colour shows in a green
// that no difference shows (a channel there is 0, or 48 and up), so that a
// fringe stands out.
inline constexpr std::uint8_t kNearKeyMark[4] = {16, 255, 16, 255};

// The PNG's width: the panels' and the gaps between them.
std::uint64_t panel_width(const PanelLayout& layout);

// Puts the PNG rows of one row of the picture: `preview` holds its pixels in
// the PNG's channels; with three panels, `source` holds the source's as red,
// green, blue, and `reference` what the differences are taken against.
bool put_panel_rows(PngWriter* png, const PanelLayout& layout, const std::uint8_t* preview,
                    const std::uint8_t* source, const std::uint8_t* reference);

}  // namespace kestrin::preview
