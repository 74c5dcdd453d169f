// Writing the picture as a C header of pixel-pair words.
#pragma once

// Writing the picture as a C header of pixel-pair words.

#include <cstdio>
#include <string>

#include "kestrin/bitmap.h"
#include "platform/input_file.h"

namespace kestrin {

enum class HeaderResult {
  kWritten,
  kCannotCreate,  // the output could not be created
  kIsInput,       // the output would replace the input
  kReadFailed,    // the pixels could not be read after all
  kWriteFailed,
};

// Writes the whole header text to `sink`: the comment, the three defines and
// the array, with the rows that `pixels` hands out (top row first), eight
// words a line, every row on a line of its own. With Magic Pink on, lone key
// pixels are repainted on the way. Stops at the first failure; the text goes
// out in blocks of a fixed size, so memory does not grow with the picture.
HeaderResult write_header_text(const std::string& input_path, PixelBuffer* pixels,
                               const MagicPink& magic, ByteSink sink);

// Creates the header next to the input (the input path with ".h" appended),
// whole or not at all, and reports on `console`. On any failure an earlier
// header is left as it was; the input file itself is never replaced.
HeaderResult write_header_file(const std::string& input_path, const platform::InputFile& input,
                               PixelBuffer* pixels, const MagicPink& magic, std::FILE* console);

}  // namespace kestrin
