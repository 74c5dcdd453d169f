// Bytes held in memory as a ByteSource, and a ByteSink into a string.

#include "platform/memory_streams.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace platform {

namespace {

bool read_memory(void* memory_input, std::uint8_t* buffer, std::size_t size, std::size_t* got) {
  auto* input = static_cast<MemoryInput*>(memory_input);
  std::size_t count = std::min(size, input->size - input->position);
  if (input->max_read != 0) count = std::min(count, input->max_read);
  if (count > 0) std::memcpy(buffer, input->data + input->position, count);
  input->position += count;
  *got = count;
  return true;
}

bool read_memory_at(void* memory_input, std::uint64_t offset, std::uint8_t* buffer,
                    std::size_t size, std::size_t* got) {
  auto* input = static_cast<MemoryInput*>(memory_input);
  *got = offset >= input->size
             ? 0
             : static_cast<std::size_t>(std::min<std::uint64_t>(size, input->size - offset));
  if (*got > 0) std::memcpy(buffer, input->data + offset, *got);
  return true;
}

}  // namespace

ByteSource memory_source(MemoryInput* input, bool seekable) {
  return ByteSource{read_memory, seekable ? read_memory_at : nullptr,
                    seekable ? static_cast<std::int64_t>(input->size) : -1, input};
}

bool append_to_string(void* string, const char* data, std::size_t size) {
  try {
    static_cast<std::string*>(string)->append(data, size);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace platform
