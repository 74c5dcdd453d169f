// The input file on POSIX systems.

#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

int descriptor_of(void* input_file) {
  return static_cast<int>(static_cast<InputFile*>(input_file)->handle);
}

bool read_input(void* input_file, std::uint8_t* buffer, std::size_t size, std::size_t* got) {
  const int fd = descriptor_of(input_file);
  *got = 0;
  while (*got < size) {
    const ssize_t count = read(fd, buffer + *got, size - *got);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) break;
    *got += static_cast<std::size_t>(count);
  }
  return true;
}

bool read_input_at(void* input_file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                   std::size_t* got) {
  const int fd = descriptor_of(input_file);
  *got = 0;
  while (*got < size) {
    const ssize_t count = pread(fd, buffer + *got, size - *got, static_cast<off_t>(offset + *got));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) break;
    *got += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

bool open_input(const char* path, InputFile* input) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat status;
  if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    close(fd);
    return false;
  }
  input->handle = fd;
  input->size = S_ISREG(status.st_mode) ? static_cast<std::int64_t>(status.st_size) : -1;
  input->volume = static_cast<std::uint64_t>(status.st_dev);
  input->file_id = static_cast<std::uint64_t>(status.st_ino);
  return true;
}

ByteSource input_source(InputFile* input) {
  return ByteSource{read_input, input->size >= 0 ? read_input_at : nullptr, input->size, input};
}

void close_input(InputFile* input) {
  // Nothing was written through it, so its close has nothing to report.
  if (input->handle >= 0) close(static_cast<int>(input->handle));
  input->handle = -1;
}

}  // namespace platform
