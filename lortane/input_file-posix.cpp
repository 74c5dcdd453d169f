// The text file on POSIX systems.

#include "lortane/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lortane {

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
  input->volume = static_cast<std::uint64_t>(status.st_dev);
  input->file_id = static_cast<std::uint64_t>(status.st_ino);
  return true;
}

bool read_input(void* input_file, unsigned char* buffer, std::size_t capacity, std::size_t* got) {
  const int fd = static_cast<int>(static_cast<InputFile*>(input_file)->handle);
  ssize_t count;
  do {
    count = read(fd, buffer, capacity);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return false;
  *got = static_cast<std::size_t>(count);
  return true;
}

void close_input(InputFile* input) {
  // Nothing was written through this descriptor, so its close has nothing to report.
  if (input->handle >= 0) close(static_cast<int>(input->handle));
  input->handle = -1;
}

bool names_input(const InputFile& input, const char* output_path) {
  struct stat output;
  if (stat(output_path, &output) != 0) return false;
  return static_cast<std::uint64_t>(output.st_dev) == input.volume &&
         static_cast<std::uint64_t>(output.st_ino) == input.file_id;
}

}  // namespace lortane
