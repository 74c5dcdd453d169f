// The picture file, open for reading.
#pragma once

// The picture file, open for reading, with the readers a ByteSource takes.

#include <cstddef>
#include <cstdint>

namespace kestrin {

struct InputFile {
  std::intptr_t handle = -1;
  std::int64_t size = -1;  // in bytes, for a file that can seek; -1 for a pipe or device
};

// Opens `path` for reading. A folder counts as a failure, as it holds no
// picture.
bool open_input(const char* path, InputFile* input);

// ByteSource readers over an InputFile; read_input_at only where size >= 0.
bool read_input(void* input_file, std::uint8_t* buffer, std::size_t size, std::size_t* got);
bool read_input_at(void* input_file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                   std::size_t* got);

void close_input(InputFile* input);

}  // namespace kestrin
