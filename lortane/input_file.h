#pragma once

#include <sys/stat.h>

#include <cstddef>

namespace lortane {

// The text to convert, open for reading.
struct InputFile {
  int fd = -1;
  struct stat status {};  // of the opened file, to recognise it under another name
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
