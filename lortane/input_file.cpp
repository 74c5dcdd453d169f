#include "lortane/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace lortane {

bool open_input(const char* path, InputFile* input) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  if (fstat(fd, &input->status) != 0 || S_ISDIR(input->status.st_mode)) {
    close(fd);
    return false;
  }
  input->fd = fd;
  return true;
}

bool read_input(void* input_file, unsigned char* buffer, std::size_t capacity, std::size_t* got) {
  auto* input = static_cast<InputFile*>(input_file);
  ssize_t count;
  do {
    count = read(input->fd, buffer, capacity);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return false;
  *got = static_cast<std::size_t>(count);
  return true;
}

void close_input(InputFile* input) {
  // Nothing was written through this descriptor, so its close has nothing to report.
  if (input->fd >= 0) close(input->fd);
  input->fd = -1;
}

bool names_input(const InputFile& input, const char* output_path) {
  struct stat output;
  if (stat(output_path, &output) != 0) return false;
  return output.st_dev == input.status.st_dev && output.st_ino == input.status.st_ino;
}

}  // namespace lortane
