// Whether a file already is a BMP that Kestrin reads, and its pixels as Kestrin sees them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrin/prepare/picture_reader.h"

namespace kestrin::prepare {

// Runs Kestrin's own checks on `bytes`, silently, and where they pass fills
// `*picture` with the pixels Kestrin will convert (alpha 255), top row first.
bool read_ready_bitmap(const std::uint8_t* bytes, std::size_t size, Picture* picture);

}  // namespace kestrin::prepare
