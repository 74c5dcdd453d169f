// Pictures and header text held in memory, for tests and fuzzing.
#pragma once

// Pictures and header text held in memory, for tests and fuzzing.

#include <cstddef>
#include <cstdint>
#include <string>

#include "kestrin/bitmap.h"

namespace kestrin {

struct MemoryInput {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
};

// A ByteSource over `input`; with `seekable` false it reads only forwards, as
// from a pipe.
ByteSource memory_source(MemoryInput* input, bool seekable);

// ByteSink writer that appends to a std::string; fails only when the string
// cannot grow.
bool append_to_string(void* string, const char* data, std::size_t size);

}  // namespace kestrin
