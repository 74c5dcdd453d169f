// Transparency as the key colour, and the key's column that evens a width.

#include "kestrin/prepare/preparation.h"

namespace kestrin::prepare {

void prepare_pixels(const Picture& picture, const Colour3& key, unsigned alpha_threshold,
                    PreparedPicture* prepared) {
  *prepared = PreparedPicture();
  prepared->width = picture.width + picture.width % 2;
  prepared->height = picture.height;
  const std::uint8_t key_rgb[3] = {key.red, key.green, key.blue};
  prepared->rgb.resize(std::size_t{prepared->width} * prepared->height * 3);
  bool any_transparent = false;
  std::uint64_t opaque_keys = 0;
  const std::uint8_t* from = picture.rgba.data();
  std::uint8_t* to = prepared->rgb.data();
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    for (std::uint32_t x = 0; x < prepared->width; ++x, to += 3) {
      const bool inside = x < picture.width;
      const bool transparent = !inside || from[3] < alpha_threshold;
      const std::uint8_t* colour = transparent ? key_rgb : from;
      to[0] = colour[0];
      to[1] = colour[1];
      to[2] = colour[2];
      if (inside && transparent) any_transparent = true;
      if (inside && !transparent && from[0] == key.red && from[1] == key.green &&
          from[2] == key.blue && opaque_keys++ == 0) {
        prepared->first_opaque_key = PicturePlace{x, y};
      }
      if (inside) from += 4;
    }
  }
  prepared->padded = picture.width % 2 != 0;
  prepared->opaque_keys = any_transparent ? opaque_keys : 0;
  if (!any_transparent) prepared->first_opaque_key = PicturePlace();
}

}  // namespace kestrin::prepare
