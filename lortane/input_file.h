// The text file, open for reading.
#pragma once

// The text to convert, open for reading, and how to recognise it under
// another name.

#include <cstddef>
#include <cstdint>

namespace lortane {

struct InputFile {
  std::intptr_t handle = -1;
  // The file's identity on its volume, to recognise it under another name.
  std::uint64_t volume = 0;
  std::uint64_t file_id = 0;
};

// Opens `path` for reading. A folder counts as a failure, as it cannot be read
// as text.
bool open_input(const char* path, InputFile* input);

// ByteSource reader over an InputFile.
bool read_input(void* input_file, unsigned char* buffer, std::size_t capacity, std::size_t* got);

void close_input(InputFile* input);

// Whether `output_path` (following symbolic links) names the opened input, so
// that writing it would destroy the text before it is read.
bool names_input(const InputFile& input, const char* output_path);

}  // namespace lortane
