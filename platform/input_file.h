// The input file, open for reading, as a ByteSource.
#pragma once

#include <cstdint>

#include "platform/byte_stream.h"

namespace platform {

struct InputFile {
  std::intptr_t handle = -1;
  std::int64_t size = -1;  // in bytes, for a file that can seek; -1 for a pipe or device
  // The file's identity on its volume, to recognise it under another name.
  std::uint64_t volume = 0;
  std::uint64_t file_id = 0;
};

// Opens `path` for reading. A folder counts as a failure, as it holds no data
// to convert.
bool open_input(const char* path, InputFile* input);

// A ByteSource over `input`: reads fill their buffer but at the end of the
// data, and a file that can seek is also read at offsets.
ByteSource input_source(InputFile* input);

void close_input(InputFile* input);

}  // namespace platform
