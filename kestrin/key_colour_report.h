// The key colour's two traps in a picture, counted and worded for the artist.
#pragma once

// Magic Pink makes a pair of two key-coloured pixels transparent, and no
// other. A pixel a few levels off the key (an anti-aliased edge, a colour
// picked by eye) stays visible, as a fringe of the key's colour around the
// sprite; a key pixel beside one that is not the key is painted with the
// replacement colour instead of vanishing. The programs that tell an artist
// about a picture's key colour count both here and say them in these words.

#include <cstddef>
#include <cstdint>
#include <string>

#include "kestrin/bitmap.h"

namespace kestrin {

// A pixel's place, from the top left.
struct PicturePlace {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};

struct KeyColourReport {
  std::uint64_t near_key = 0;  // visible pixels near the key but not it
  PicturePlace first_near;
  std::uint64_t lone_key = 0;  // key pixels whose pair's other pixel is not the key
  PicturePlace first_lone;
};

// A pixel is near the key when none of its channels lies more than this
// many levels from the key's and it is not the key itself. 48 takes in every
// blend of the key that is four fifths key or more, whatever the other
// colour (the edge a painting program smooths), and every colour the eye
// takes for the key; it leaves out the purples and pinks an artist means.
inline constexpr int kNearKeyLevels = 48;

// `pixels` holds `count` pixels of `channels` bytes each (3 or 4: red, green,
// blue and, with 4, alpha), adjacent in one row, the first at `first`. With
// 4 channels a pixel of alpha 0 is transparent, never near the key.
bool is_near_key(const std::uint8_t* pixel, unsigned channels, const Colour3& key);
void count_near_key(KeyColourReport* report, const std::uint8_t* pixels, unsigned channels,
                    std::size_t count, PicturePlace first, const Colour3& key);

// The same, counting key pixels lone in their pair: `first.x` and `count`
// are even, so that the pixels are whole pairs.
void count_lone_key(KeyColourReport* report, const std::uint8_t* pixels, unsigned channels,
                    std::size_t count, PicturePlace first, const Colour3& key);

// The report's clauses for a summary line, of a picture of `pixels` pixels;
// empty when there is nothing to say:
//   "5 of 3072 pixels are near the key colour but not it (a visible fringe), the first at (3, 0)"
//   "2 of 3072 pixels are the key colour alone in their pair (painted, not transparent), the
//    first at (31, 20)"
std::string near_key_clause(const KeyColourReport& report, std::uint64_t pixels);
std::string lone_key_clause(const KeyColourReport& report, std::uint64_t pixels);

// The clause of a picture with transparency whose `count` opaque pixels have
// the key colour itself (Magic Pink makes them vanish), the first at `first`;
// empty when there are none:
//   "3 of 680 pixels are the key colour but opaque in the picture (they vanish), the first at
//    (5, 2)"
std::string opaque_key_clause(std::uint64_t count, PicturePlace first, std::uint64_t pixels);

}  // namespace kestrin
