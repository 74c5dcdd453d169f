// Writing the generated string array from a byte source to a byte sink.
#pragma once

// The generated source: a C array of string literals, one per piece of a
// line of the text, closed by NULL.

#include "platform/byte_stream.h"

namespace lortane {

using platform::ByteSink;
using platform::ByteSource;

enum class ArrayResult {
  kWritten,
  kReadFailed,
  kWriteFailed,
};

// Reads the whole of `source` and writes to `sink` a C source file that defines
// `const char * variable_name [] = {...}`, one literal per piece of a line and a
// final NULL, headed by a comment naming `input_path` (made safe to compile).
// Input and output pass through fixed-size blocks of the program's own, so
// memory use does not grow with the text; one conversion runs at a time. Stops
// at the first failure; on kWritten everything has reached the sink.
ArrayResult write_string_array(const char* variable_name, const char* input_path, ByteSource source,
                               ByteSink sink);

}  // namespace lortane
