// The least that any converter must do: start, read its input to the end and
// write a new file as large as its output.
//   io_floor new <in> <out> <output bytes>       <out> must not exist yet
//   io_floor replace <in> <out> <output bytes>   <out> must exist
// A replace writes a new file beside <out> and renames it over <out>. On ext4
// that rename starts the new file's write-back before the rename is logged,
// which is what lets the name hold either the whole earlier content or the
// whole new one after a power loss; the write-back is thus part of the least
// that a replace surviving a power loss costs.
//
// Plain system calls and a static buffer, linked statically: a floor that
// started the C++ runtime would charge the converters for nothing.

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef FLOOR_BLOCK
#define FLOOR_BLOCK (128 << 10)
#endif

namespace {

// Small enough to stay in the core's own cache between the copy into it and
// the copy out of it, large enough that a call costs little per byte.
char block[FLOOR_BLOCK];

bool write_new(int in, const char* path, unsigned long long bytes) {
  const int out = open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (out < 0) return false;
  while (read(in, block, sizeof block) > 0) {
  }
  while (bytes > 0) {
    const size_t n = bytes < sizeof block ? bytes : sizeof block;
    if (write(out, block, n) != static_cast<ssize_t>(n)) return false;
    bytes -= n;
  }
  return close(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 1;
  const bool replace = strcmp(argv[1], "replace") == 0;
  if (!replace && strcmp(argv[1], "new") != 0) return 1;
  const int in = open(argv[2], O_RDONLY);
  if (in < 0) return 2;
  const unsigned long long bytes = strtoull(argv[4], nullptr, 10);
  if (!replace) return write_new(in, argv[3], bytes) ? 0 : 3;

  struct stat earlier;
  if (stat(argv[3], &earlier) != 0) return 4;
  char temp[4096];
  if (snprintf(temp, sizeof temp, "%s.new", argv[3]) >= static_cast<int>(sizeof temp)) return 1;
  if (!write_new(in, temp, bytes) || rename(temp, argv[3]) != 0) {
    unlink(temp);
    return 3;
  }
  return 0;
}
