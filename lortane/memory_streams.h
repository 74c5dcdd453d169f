// Texts and generated sources held in memory, for tests and fuzzing.
#pragma once

#include <cstddef>
#include <string>

namespace lortane {

// Text held in memory, handed out in reads of at most `max_read` bytes (0: no
// limit), so that callers can make line ends fall across block boundaries.
struct MemoryInput {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
  std::size_t max_read = 0;
};

// ByteSource reader over a MemoryInput; never fails.
bool read_memory(void* memory_input, unsigned char* buffer, std::size_t capacity, std::size_t* got);

// ByteSink writer that appends to a std::string; fails only when the string cannot grow.
bool append_to_string(void* string, const char* data, std::size_t size);

}  // namespace lortane
