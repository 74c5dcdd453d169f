// Laying out the PNG's rows: the preview, and beside it the source and the differences.
#pragma once

// Each row of the header becomes `scale` rows of the PNG, each pixel `scale`
// pixels wide. With a source picture, three panels of the picture's width
// stand side by side: the preview, the source, and where they differ.

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

// The PNG's width: width x scale x panels.
std::uint64_t panel_width(const PanelLayout& layout);

// Puts the PNG rows of one row of the picture: `preview` holds its pixels in
// the PNG's channels, `source` (with three panels) as red, green, blue.
bool put_panel_rows(PngWriter* png, const PanelLayout& layout, const std::uint8_t* preview,
                    const std::uint8_t* source);

}  // namespace kestrin::preview
