#include "lortane/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lortane {

namespace {

constexpr char kTempName[] = ".lortane-XXXXXX";
// The kernel gives up on longer chains with ELOOP; so does this.
constexpr int kMaxSymbolicLinks = 40;

// Read by the signal handler, so kept outside any record. Only changed while the
// cleanup signals are blocked.
volatile sig_atomic_t g_temp_armed = 0;
char g_temp_path[PATH_MAX];

// SIGPIPE too: the console reader of a build may go away while the output is
// being written.
const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void remove_temp_and_reraise(int signal_number) {
  if (g_temp_armed) unlink(g_temp_path);
  // The handler was reset to the default on entry, so this ends the process
  // with the status the signal would have given it.
  raise(signal_number);
}

sigset_t cleanup_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kCleanupSignals) sigaddset(&set, signal_number);
  return set;
}

void install_cleanup_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_temp_and_reraise;
  action.sa_mask = cleanup_signal_set();
  action.sa_flags = SA_RESETHAND;
  for (int signal_number : kCleanupSignals) {
    struct sigaction previous;
    // A signal ignored by whoever started us (nohup) stays ignored.
    if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signal_number, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
}

void block_cleanup_signals(sigset_t* previous) {
  sigset_t set = cleanup_signal_set();
  sigprocmask(SIG_BLOCK, &set, previous);
}

void restore_signals(const sigset_t* previous) { sigprocmask(SIG_SETMASK, previous, nullptr); }

// The folder part of `path` with its final '/', or "" for a bare name.
std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool read_link(const std::string& path, std::string* link) {
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t length = readlink(path.c_str(), &buffer[0], buffer.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      link->assign(buffer, 0, static_cast<std::size_t>(length));
      return true;
    }
    if (buffer.size() >= PATH_MAX) return false;
    buffer.resize(buffer.size() * 2);
  }
}

// Follows symbolic links from `target` to the file a plain open would write,
// which exists when `*exists` is set (then `*status` describes it).
bool resolve_target(const char* target, std::string* final_path, bool* exists,
                    struct stat* status) {
  std::string path = target;
  for (int links = 0; links <= kMaxSymbolicLinks; ++links) {
    if (lstat(path.c_str(), status) != 0) {
      if (errno != ENOENT) return false;
      *exists = false;
      *final_path = path;
      return true;
    }
    if (!S_ISLNK(status->st_mode)) {
      *exists = true;
      *final_path = path;
      return true;
    }
    std::string link;
    if (!read_link(path, &link) || link.empty()) return false;
    path = link[0] == '/' ? link : folder_of(path) + link;
  }
  return false;
}

mode_t new_file_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

void remove_temp(const OutputFile& output) {
  sigset_t previous;
  block_cleanup_signals(&previous);
  unlink(output.temp_path.c_str());
  g_temp_armed = 0;
  restore_signals(&previous);
}

}  // namespace

bool create_output(const char* target, OutputFile* output) {
  bool exists = false;
  struct stat status;
  if (!resolve_target(target, &output->final_path, &exists, &status)) return false;
  mode_t mode = new_file_mode();
  if (exists) {
    if (!S_ISREG(status.st_mode)) return false;
    if (faccessat(AT_FDCWD, output->final_path.c_str(), W_OK, AT_EACCESS) != 0) return false;
    mode = status.st_mode & 0777;
  }

  std::string pattern = folder_of(output->final_path) + kTempName;
  if (pattern.size() >= sizeof g_temp_path) return false;

  install_cleanup_handlers();
  sigset_t previous;
  block_cleanup_signals(&previous);
  std::memcpy(g_temp_path, pattern.c_str(), pattern.size() + 1);
  int fd = mkstemp(g_temp_path);
  if (fd >= 0) g_temp_armed = 1;
  restore_signals(&previous);
  if (fd < 0) return false;

  output->temp_path = g_temp_path;
  output->fd = fd;
  if (fchmod(fd, mode) != 0) {
    discard_output(output);
    return false;
  }
  return true;
}

bool write_output(void* output_file, const char* data, std::size_t size) {
  auto* output = static_cast<OutputFile*>(output_file);
  while (size > 0) {
    ssize_t count = write(output->fd, data, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

namespace {

// Puts the finished temporary in the target's place. Swapping the two names
// and then removing the earlier file, rather than renaming over it, spares
// ext4 the write-back it forces on a rename over an existing file, which
// costs large outputs a third of their run; readers still only ever see the
// whole earlier file or the whole new one.
bool replace_target(const std::string& temp, const std::string& target) {
#ifdef RENAME_EXCHANGE
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    unlink(temp.c_str());  // now the earlier output
    return true;
  }
#endif
  return rename(temp.c_str(), target.c_str()) == 0;
}

}  // namespace

bool commit_output(OutputFile* output) {
  int fd = output->fd;
  output->fd = -1;
  if (close(fd) != 0) {
    remove_temp(*output);
    return false;
  }
  sigset_t previous;
  block_cleanup_signals(&previous);
  bool renamed = replace_target(output->temp_path, output->final_path);
  if (!renamed) unlink(output->temp_path.c_str());
  g_temp_armed = 0;
  restore_signals(&previous);
  return renamed;
}

void discard_output(OutputFile* output) {
  // Nothing of it will be kept, so a failing close has nothing to report.
  if (output->fd >= 0) close(output->fd);
  output->fd = -1;
  remove_temp(*output);
}

}  // namespace lortane
