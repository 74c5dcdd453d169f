#pragma once

// Writing the picture as a C header of pixel-pair words.

#include <cstdio>
#include <string>

#include "kestrin/bitmap.h"

// Writes the whole header text for `pixels` to `out`: the comment, the three
// defines and the array, top row first, eight words a line, every row on a
// line of its own. With Magic Pink on, key pixels in `pixels` are repainted on
// the way. False when a write fails.
bool write_header_text(std::FILE* out, const std::string& input_path, PixelBuffer& pixels,
                       const MagicPink& magic);

// Creates the header next to the input (the input path with ".h" appended),
// whole or not at all, and reports on `console`. False when it cannot be
// created or written; an earlier header is then left as it was.
bool write_header_file(const std::string& input_path, PixelBuffer& pixels, const MagicPink& magic,
                       std::FILE* console);
