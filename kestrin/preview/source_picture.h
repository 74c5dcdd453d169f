// The picture of --compare, read by Kestrin's own reader, a row at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "kestrin/bitmap.h"
#include "platform/input_file.h"

namespace kestrin::preview {

struct SourcePicture {
  platform::InputFile input;
  std::uint32_t width = 0;  // as its info header gives them
  std::uint32_t height = 0;
  PixelBuffer pixels;
};

enum class SourceResult {
  kReady,
  kCannotOpen,
  kRefused,    // Kestrin's reader has printed its reason on `console`
  kOtherSize,  // not `width` x `height`: see the picture's own
};

// Opens the picture and checks it as Kestrin does, so that the preview
// compares exactly the pictures Kestrin converts, and checks its size
// against the header's before any pixel is read (from a pipe the picture is
// held whole).
SourceResult open_source_picture(const char* path, std::uint32_t width, std::uint32_t height,
                                 SourcePicture* source, std::FILE* console);

// The next row, top row first, as `width` pixels of red, green, blue; false
// when the picture cannot be read after all.
bool read_source_row(SourcePicture* source, std::uint8_t* rgb);

// Starts again from the top row.
void rewind_source_picture(SourcePicture* source);

void close_source_picture(SourcePicture* source);

}  // namespace kestrin::preview
