// The program's start on POSIX systems.

#include "platform/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void prepare_process(int*, char***) {
  // open() takes the lowest free descriptor, so the closed ones fill in order.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
      open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
  }
}

}  // namespace platform
