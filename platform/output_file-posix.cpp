// The whole-or-nothing output file on POSIX systems: a temporary beside the
// target, made and renamed relative to the target's folder.

#include "platform/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// A temporary's name is the target's prefix and a two-digit slot: runs for
// one target take the first slot that is free, so the next run meets a
// leftover by name, without reading the whole folder.
constexpr int kSlots = 100;
constexpr std::size_t kSlotLength = 2;
// Leftovers are looked for in these slots whatever is in them, and beyond
// them up to the first free slot.
constexpr int kSlotsAlwaysLooked = 4;
constexpr std::size_t kNameMax = 255;
// The kernel gives up on longer chains with ELOOP; so does this.
constexpr int kMaxSymbolicLinks = 40;

#ifdef O_PATH
// A folder is only ever named through, never read, so it needs no permission to read.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// What the signal handler removes. Changed only while the cleanup signals
// are blocked, so the handler never sees it half-set.
volatile sig_atomic_t g_armed = 0;
int g_folder = -1;
char g_temp[kNameMax + 1];
sigset_t g_cleanup_signals;

// Every signal whose default action ends the process. SIGXFSZ is ignored
// instead, so that a write past the file-size limit fails and is reported.
const int kTerminatingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1,
    SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};

// Every cleanup signal is blocked while this runs, so a second one (as
// `timeout` sends to the process and then to its group) waits until the
// temporary is gone; then the signal ends the process as it would have.
extern "C" void remove_temp_and_reraise(int signal_number) {
  if (g_armed) unlinkat(g_folder, g_temp, 0);
  struct sigaction fatal;
  std::memset(&fatal, 0, sizeof fatal);
  fatal.sa_handler = SIG_DFL;
  sigemptyset(&fatal.sa_mask);
  sigaction(signal_number, &fatal, nullptr);
  raise(signal_number);  // delivered as the handler returns
}

// One call a signal: each is given the handler, and one that was not at its
// default is given back what it had. A signal ignored by whoever started us
// (nohup) stays ignored, and one that a runtime already handles (a
// sanitizer) stays with it. They are blocked meanwhile, so none meets the
// handler before it is settled.
void install_cleanup_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  signal(SIGXFSZ, SIG_IGN);
  sigset_t candidates;
  sigemptyset(&candidates);
  for (int signal_number : kTerminatingSignals) sigaddset(&candidates, signal_number);
#ifdef SIGRTMIN
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    sigaddset(&candidates, signal_number);
  }
#endif
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_temp_and_reraise;
  action.sa_mask = candidates;
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &candidates, &previous);
  sigemptyset(&g_cleanup_signals);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    struct sigaction earlier;
    if (sigismember(&candidates, signal_number) != 1 ||
        sigaction(signal_number, &action, &earlier) != 0) {
      continue;
    }
    if (earlier.sa_handler == SIG_DFL) {
      sigaddset(&g_cleanup_signals, signal_number);
    } else {
      sigaction(signal_number, &earlier, nullptr);
    }
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void block_cleanup_signals(sigset_t* previous) {
  sigprocmask(SIG_BLOCK, &g_cleanup_signals, previous);
}

void restore_signals(const sigset_t* previous) { sigprocmask(SIG_SETMASK, previous, nullptr); }

// Splits `path` into its folder ("" for a bare name) and its last name.
void split_path(const std::string& path, std::string* folder, std::string* name) {
  const std::size_t slash = path.rfind('/');
  *folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens `folder` relative to the folder `base` (an absolute one from the root).
int open_folder(int base, const std::string& folder) {
  int fd;
  do {
    fd = openat(base, folder.empty() ? "." : folder.c_str(), kFolderFlags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool read_link(int folder, const std::string& name, std::string* link) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlinkat(folder, name.c_str(), &buffer[0], buffer.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      link->assign(buffer, 0, static_cast<std::size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Follows symbolic links from `path` to the file a plain open would write,
// which need not exist yet, and opens its folder. `*exists` tells whether it
// does; then `*status` describes it.
bool resolve_target(const std::string& path, int* folder, std::string* name, bool* exists,
                    struct stat* status) {
  std::string folder_part;
  split_path(path, &folder_part, name);
  *folder = open_folder(AT_FDCWD, folder_part);
  if (*folder < 0) return false;
  for (int links = 0; links <= kMaxSymbolicLinks; ++links) {
    if (name->empty()) break;  // the path names a folder
    if (fstatat(*folder, name->c_str(), status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) break;
      *exists = false;
      return true;
    }
    if (!S_ISLNK(status->st_mode)) {
      *exists = true;
      return true;
    }
    std::string link;
    if (!read_link(*folder, *name, &link) || link.empty()) break;
    split_path(link, &folder_part, name);
    const int next = open_folder(*folder, folder_part);
    close(*folder);
    *folder = next;
    if (next < 0) return false;
  }
  close(*folder);
  *folder = -1;
  return false;
}

// Names of this target's temporaries begin with this; they must fit in a name.
std::string temp_prefix(const std::string& target, const char* tag) {
  const std::size_t room = kNameMax - 1 - std::strlen(tag) - kSlotLength;
  return "." + target.substr(0, room) + tag;
}

std::string slot_name(const std::string& prefix, int slot) {
  const char digits[] = {static_cast<char>('0' + slot / 10), static_cast<char>('0' + slot % 10),
                         '\0'};
  return prefix + digits;
}

// Whether `name` in `folder` is still the file open as `fd`.
bool still_named(int folder, const char* name, int fd) {
  struct stat named, opened;
  return fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &opened) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

enum class Slot { kFree, kCleared, kTaken };

// Removes the temporary in a slot if a run killed outright (SIGKILL, a power
// loss) left it behind. A live run holds a lock on its temporary from the
// moment it has made it until it has renamed it, so the one that is locked
// here is nobody's.
Slot clear_slot(int folder, const char* name) {
  const int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Slot::kFree : Slot::kTaken;
  struct stat status;
  const bool cleared = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                       flock(fd, LOCK_EX | LOCK_NB) == 0 && still_named(folder, name, fd) &&
                       unlinkat(folder, name, 0) == 0;
  close(fd);
  return cleared ? Slot::kCleared : Slot::kTaken;
}

// The leftovers in the slots after the one a run took.
void clear_slots_after(int folder, const std::string& prefix, int taken) {
  for (int slot = taken + 1; slot < kSlots; ++slot) {
    if (clear_slot(folder, slot_name(prefix, slot).c_str()) == Slot::kFree &&
        slot >= kSlotsAlwaysLooked) {
      return;
    }
  }
}

void disarm() {
  g_armed = 0;
  g_folder = -1;
}

bool lock(int fd) {
  int result;
  do {
    result = flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// Makes and locks a new temporary in the first free slot, clearing the
// leftovers it meets; false when none can be made.
bool make_temp(OutputFile* output, const std::string& prefix, mode_t mode) {
  const int folder = static_cast<int>(output->folder);
  for (int slot = 0; slot < kSlots; ++slot) {
    const std::string name = slot_name(prefix, slot);
    if (clear_slot(folder, name.c_str()) == Slot::kTaken) continue;
    sigset_t previous;
    block_cleanup_signals(&previous);
    const int fd =
        openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
    if (fd >= 0) {
      std::memcpy(g_temp, name.c_str(), name.size() + 1);
      g_folder = folder;
      g_armed = 1;
    }
    restore_signals(&previous);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return false;
    }
    // Where a file system has no locks, no other run can take this one for
    // a leftover either.
    if (lock(fd) && !still_named(folder, name.c_str(), fd)) {
      // Another run's cleaning took it before the lock: make another.
      block_cleanup_signals(&previous);
      disarm();
      restore_signals(&previous);
      close(fd);
      continue;
    }
    output->temp = name;
    output->handle = fd;
    clear_slots_after(folder, prefix, slot);
    return true;
  }
  return false;
}

bool write_output(void* output_file, const char* data, std::size_t size) {
  const int fd = static_cast<int>(static_cast<OutputFile*>(output_file)->handle);
  while (size > 0) {
    const ssize_t count = write(fd, data, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

bool create_output(const std::string& path, const char* tag, OutputFile* output) {
  *output = OutputFile();
  install_cleanup_handlers();

  int folder = -1;
  bool exists = false;
  struct stat status;
  if (!resolve_target(path, &folder, &output->target, &exists, &status)) return false;
  output->folder = folder;
  const bool writable =
      !exists ||
      (S_ISREG(status.st_mode) && faccessat(folder, output->target.c_str(), W_OK, AT_EACCESS) == 0);
  // A new file gets 0666 less the umask from the open itself.
  if (!writable || !make_temp(output, temp_prefix(output->target, tag), exists ? 0600 : 0666) ||
      (exists && fchmod(static_cast<int>(output->handle), status.st_mode & 0777) != 0)) {
    discard_output(output);
    return false;
  }
  return true;
}

ByteSink output_sink(OutputFile* output) { return ByteSink{write_output, output}; }

bool commit_output(OutputFile* output) {
  if (output->temp.empty()) return false;
  const int folder = static_cast<int>(output->folder);
  const int fd = static_cast<int>(output->handle);
  sigset_t previous;
  block_cleanup_signals(&previous);
  // The temporary stays open, and so locked, until it has the target's name.
  // A file system that reports write errors only as a file is closed (NFS)
  // reports them on closing a duplicate too.
  const int probe = dup(fd);
  bool committed = probe >= 0 && close(probe) == 0 &&
                   renameat(folder, output->temp.c_str(), folder, output->target.c_str()) == 0;
  if (!committed) unlinkat(folder, output->temp.c_str(), 0);
  disarm();
  restore_signals(&previous);
  output->temp.clear();
  discard_output(output);
  return committed;
}

void discard_output(OutputFile* output) {
  if (!output->temp.empty()) {
    sigset_t previous;
    block_cleanup_signals(&previous);
    unlinkat(static_cast<int>(output->folder), output->temp.c_str(), 0);
    disarm();
    restore_signals(&previous);
    output->temp.clear();
  }
  // Nothing of it is kept, so a failing close has nothing to report.
  if (output->handle >= 0) close(static_cast<int>(output->handle));
  if (output->folder >= 0) close(static_cast<int>(output->folder));
  output->handle = -1;
  output->folder = -1;
}

}  // namespace platform
