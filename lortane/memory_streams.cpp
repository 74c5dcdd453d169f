#include "lortane/memory_streams.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace lortane {

bool read_memory(void* memory_input, unsigned char* buffer, std::size_t capacity,
                 std::size_t* got) {
  auto* input = static_cast<MemoryInput*>(memory_input);
  std::size_t count = std::min(capacity, input->size - input->position);
  if (input->max_read != 0) count = std::min(count, input->max_read);
  if (count > 0) std::memcpy(buffer, input->data + input->position, count);
  input->position += count;
  *got = count;
  return true;
}

bool append_to_string(void* string, const char* data, std::size_t size) {
  try {
    static_cast<std::string*>(string)->append(data, size);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace lortane
