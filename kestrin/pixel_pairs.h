// Encoding whole runs of pixel pairs.
#pragma once

// Whole runs of pixel pairs, for the writer's loop: on x86-64 four pairs are
// encoded at a time with SSE2, giving the same words as encode_pixel_pair.

#include <cstddef>
#include <cstdint>

namespace kestrin {

// Encodes `count` adjacent pairs at `pixels` (six bytes each: blue, green, red
// of the left pixel, then of the right) into `words[0]` to `words[count - 1]`.
// Reads no byte at or past `pixels + 6 * count`.
void encode_pixel_pairs(const std::uint8_t* pixels, std::size_t count, std::uint32_t* words);

}  // namespace kestrin
