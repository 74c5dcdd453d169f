// The picture of --compare, read by Kestrin's own reader, a row at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "kestrin/bitmap.h"
#include "platform/input_file.h"

namespace kestrin::preview {

struct SourcePicture {
  platform::InputFile input;
  PixelBuffer pixels;
};

enum class SourceResult {
  kReady,
  kCannotOpen,
  kRefused,  // Kestrin's reader has printed its reason on `console`
};

// Opens the picture and checks it as Kestrin does, so that the preview
// compares exactly the pictures Kestrin converts.
SourceResult open_source_picture(const char* path, SourcePicture* source, std::FILE* console);

// The next row, top row first, as `width` pixels of red, green, blue; false
// when the picture cannot be read after all.
bool read_source_row(SourcePicture* source, std::uint8_t* rgb);

void close_source_picture(SourcePicture* source);

}  // namespace kestrin::preview
