// Bytes in memory as a ByteSource and a string as a ByteSink, for tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/byte_stream.h"

namespace platform {

// Bytes held in memory, handed out in reads of at most `max_read` bytes (0:
// no limit), so that callers can make boundaries fall anywhere.
struct MemoryInput {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
  std::size_t max_read = 0;
};

// A ByteSource over `input` that never fails; with `seekable` false it reads
// only forwards, as from a pipe.
ByteSource memory_source(MemoryInput* input, bool seekable);

// ByteSink writer that appends to a std::string; fails only when the string
// cannot grow.
bool append_to_string(void* string, const char* data, std::size_t size);

}  // namespace platform
