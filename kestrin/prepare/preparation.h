// Making a picture's pixels into the ones Kestrin converts.
#pragma once

// Transparency becomes exactly the key colour, with no blending, so that an
// edge is either visible or transparent and never a fringe; an odd width gets
// one column of the key on the right, which Magic Pink shows as transparent.

#include <cstdint>
#include <vector>

#include "kestrin/bitmap.h"
#include "kestrin/key_colour_report.h"
#include "kestrin/prepare/picture_reader.h"

namespace kestrin::prepare {

struct PreparedPicture {
  std::uint32_t width = 0;  // even
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;  // top row first, red, green, blue
  // Opaque pixels of the picture that already have the key colour, in a
  // picture that has transparent ones too: Magic Pink makes them vanish.
  std::uint64_t opaque_keys = 0;
  PicturePlace first_opaque_key;
  bool padded = false;  // the width was odd
};

// A pixel whose alpha is below `alpha_threshold` becomes `key`; every other
// keeps its red, green and blue as they are.
void prepare_pixels(const Picture& picture, const Colour3& key, unsigned alpha_threshold,
                    PreparedPicture* prepared);

}  // namespace kestrin::prepare
