// Where bytes come from and where they go: a file, or memory in tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A source of bytes: the input file, or memory in tests and fuzzing.
struct ByteSource {
  // Up to `size` bytes from the current position on, which it moves; `*got`
  // is 0 only at the end of the data. False on a read error.
  bool (*read)(void* context, std::uint8_t* buffer, std::size_t size, std::size_t* got);
  // All of `size` bytes from `offset` on, but at the end of the data; null
  // where the source cannot seek (a pipe). False on a read error.
  bool (*read_at)(void* context, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                  std::size_t* got);
  std::int64_t size;  // in bytes, or -1 when not known
  void* context;
};

// Where generated text goes: takes all `size` bytes or returns false.
struct ByteSink {
  bool (*write)(void* context, const char* data, std::size_t size);
  void* context;
};

}  // namespace platform
