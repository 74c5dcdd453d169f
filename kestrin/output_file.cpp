#include "kestrin/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The temporary that a signal handler must remove. Written only while the
// cleanup signals are blocked, so the handler never sees it half-set.
char* g_pending_temp = nullptr;

// SIGPIPE too: the console reader of a build may go away while the output is
// being written.
const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void remove_temp_and_die(int signal_number) {
  if (g_pending_temp != nullptr) unlink(g_pending_temp);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void install_cleanup_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  // Past a file-size limit a write then fails and is reported as a write
  // error, instead of the signal ending the run without a word.
  ::signal(SIGXFSZ, SIG_IGN);
  for (int sig : kCleanupSignals) {
    struct sigaction old_action;
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (sigaction(sig, nullptr, &old_action) == 0 && old_action.sa_handler == SIG_IGN) continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_temp_and_die;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

sigset_t block_cleanup_signals() {
  sigset_t block, previous;
  sigemptyset(&block);
  for (int sig : kCleanupSignals) sigaddset(&block, sig);
  sigprocmask(SIG_BLOCK, &block, &previous);
  return previous;
}

// Call with the cleanup signals blocked.
void remember_temp(const char* path) {
  std::free(g_pending_temp);
  g_pending_temp = path != nullptr ? strdup(path) : nullptr;
}

void forget_temp() {
  const sigset_t previous = block_cleanup_signals();
  remember_temp(nullptr);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool read_link(const std::string& path, std::string* target) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < buffer.size()) {
      target->assign(buffer.data(), static_cast<std::size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Follows a chain of links to the file that a plain open would write, even
// when the last link dangles (the open would create that file).
std::string follow_links(std::string path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    std::string target;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || !read_link(path, &target)) break;
    path = !target.empty() && target[0] == '/' ? target : folder_of(path) + target;
  }
  return path;
}

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
  return std::rename(temp.c_str(), target.c_str()) == 0;
}

mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool open_output_file(const std::string& path, OutputFile* file) {
  file->target = follow_links(path);
  file->temp_path.clear();
  file->stream = nullptr;

  mode_t mode;
  struct stat st;
  if (stat(file->target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    if (faccessat(AT_FDCWD, file->target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    mode = st.st_mode & 07777;
  } else if (errno == ENOENT) {
    mode = new_file_mode();
  } else {
    return false;
  }

  install_cleanup_handlers();
  std::string temp = folder_of(file->target) + ".kestrin-XXXXXX";
  const sigset_t previous = block_cleanup_signals();
  const int fd = mkstemp(temp.data());
  if (fd >= 0) remember_temp(temp.c_str());
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (fd < 0) return false;

  file->temp_path = temp;
  file->stream = fdopen(fd, "w");
  // The writer hands over large blocks of its own; a stream buffer would only
  // split each into two write calls.
  if (file->stream != nullptr) std::setvbuf(file->stream, nullptr, _IONBF, 0);
  if (file->stream == nullptr || fchmod(fd, mode) != 0) {
    if (file->stream == nullptr) close(fd);
    discard_output_file(file);
    return false;
  }
  return true;
}

bool commit_output_file(OutputFile* file) {
  if (file->stream == nullptr) return false;
  const bool written = !std::ferror(file->stream) && std::fflush(file->stream) == 0;
  const bool closed = std::fclose(file->stream) == 0;
  file->stream = nullptr;
  if (!written || !closed || !replace_target(file->temp_path, file->target)) {
    discard_output_file(file);
    return false;
  }
  file->temp_path.clear();
  forget_temp();
  return true;
}

void discard_output_file(OutputFile* file) {
  if (file->stream != nullptr) std::fclose(file->stream);
  file->stream = nullptr;
  if (!file->temp_path.empty()) unlink(file->temp_path.c_str());
  file->temp_path.clear();
  forget_temp();
}
