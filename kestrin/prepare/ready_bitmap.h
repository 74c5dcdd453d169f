// Whether a file already is a BMP that Kestrin reads, and the key colour's traps in its pixels as
// Kestrin sees them.
#pragma once

#include "kestrin/bitmap.h"
#include "kestrin/key_colour_report.h"
#include "platform/byte_stream.h"

namespace kestrin::prepare {

// Runs Kestrin's own checks on `in`, silently; where they pass, `*pixels`
// hands out the rows as Kestrin converts them (kestrin/bitmap_reader.h's
// next_pixel_run), a file that can seek read a band at a time.
bool open_ready_bitmap(const platform::ByteSource& in, PixelBuffer* pixels);

// Counts the key colour's traps over every pixel `pixels` hands out; false
// when the file cannot be read through after all.
bool count_ready_traps(PixelBuffer* pixels, const Colour3& key, KeyColourReport* report);

}  // namespace kestrin::prepare
