// The whole-or-nothing output file on POSIX systems: a temporary beside the
// target, made and renamed relative to the target's folder.

#include "platform/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "platform/plain_open.h"

namespace platform {

namespace {

// A temporary's name is the target's prefix and a two-digit slot. Every run
// looks into every slot, so it meets a leftover by name, without reading the
// whole folder, and takes the first slot that is free.
constexpr int kSlots = 8;
// Where no slot is free (many live runs for one target, or names another
// user made in a shared folder), the temporary's name is the prefix, 'x' and
// random letters and digits: no other user can make it first.
constexpr std::size_t kRandomLength = 12;
constexpr int kRandomTries = 64;
constexpr char kRandomLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kNameMax = 255;

// What the signal handler removes. Changed only while the cleanup signals
// are blocked, so the handler never sees it half-set.
volatile sig_atomic_t g_armed = 0;
int g_folder = -1;
int g_fd = -1;  // the temporary, open, to tell it from another file at its name
char g_temp[kNameMax + 1];
// Set once the temporary has the target's name: the run has succeeded.
volatile sig_atomic_t g_committed = 0;
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

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

enum class Naming { kSame, kOther, kUnknown };

// Whether `name` in `folder` is still the file open as `fd`.
Naming naming_of(int folder, const char* name, int fd) {
  struct stat named, opened;
  if (fstat(fd, &opened) != 0) return Naming::kUnknown;
  if (fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? Naming::kOther : Naming::kUnknown;
  }
  return same_file(named, opened) ? Naming::kSame : Naming::kOther;
}

// Removes the temporary at `name` unless another file has taken its name
// (another run's, after its cleaning took this one for a leftover). Safe in
// a signal handler.
void remove_temp(int folder, const char* name, int fd) {
  if (naming_of(folder, name, fd) != Naming::kOther) unlinkat(folder, name, 0);
}

// Faults of the program's own end it whatever has happened; returning from
// their handler would only meet the fault again.
bool is_fault(int signal_number) {
  return signal_number == SIGSEGV || signal_number == SIGBUS || signal_number == SIGILL ||
         signal_number == SIGFPE || signal_number == SIGTRAP || signal_number == SIGSYS;
}

// Every cleanup signal is blocked while this runs, so a second one (as
// `timeout` sends to the process and then to its group) waits until the
// temporary is gone; then the signal ends the process as it would have.
// After the commit a signal from outside ends nothing: the target is new, so
// the run goes on to its end and its success.
extern "C" void remove_temp_and_reraise(int signal_number) {
  if (g_committed && !is_fault(signal_number)) return;
  if (g_armed) remove_temp(g_folder, g_temp, g_fd);
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

// Names of this target's temporaries begin with this; they must fit in a name.
std::string temp_prefix(const std::string& target, const char* tag) {
  const std::size_t room = kNameMax - 1 - std::strlen(tag) - (1 + kRandomLength);
  return "." + target.substr(0, room) + tag;
}

std::string slot_name(const std::string& prefix, int slot) {
  const char digits[] = {static_cast<char>('0' + slot / 10), static_cast<char>('0' + slot % 10),
                         '\0'};
  return prefix + digits;
}

std::string random_name(const std::string& prefix) {
  static std::random_device source;
  std::string name = prefix + 'x';
  for (std::size_t i = 0; i < kRandomLength; ++i) {
    name += kRandomLetters[source() % (sizeof kRandomLetters - 1)];
  }
  return name;
}

bool is_random_name(const char* name, const std::string& prefix) {
  const std::size_t length = std::strlen(name);
  if (length != prefix.size() + 1 + kRandomLength ||
      prefix.compare(0, prefix.size(), name, prefix.size()) != 0 || name[prefix.size()] != 'x') {
    return false;
  }
  for (const char* c = name + prefix.size() + 1; *c != '\0'; ++c) {
    if (std::strchr(kRandomLetters, *c) == nullptr) return false;
  }
  return true;
}

enum class Slot { kFree, kCleared, kTaken };

// Removes the temporary at `name` if a run killed outright (SIGKILL, a power
// loss) left it behind. A live run holds a lock on its temporary from the
// moment it has made it until it has renamed it, so the one that is locked
// here is nobody's. Neither the target, whose name a slot's may be, nor an
// input is ever removed. Opened for writing where it may be, as a lock
// emulated by byte ranges (NFS) needs.
Slot clear_slot(int folder, const char* name, const std::string& target, Inputs inputs) {
  if (target == name) return Slot::kTaken;
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = openat(folder, name, O_RDWR | kFlags);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == ETXTBSY)) {
    fd = openat(folder, name, O_RDONLY | kFlags);
  }
  if (fd < 0) return errno == ENOENT ? Slot::kFree : Slot::kTaken;
  struct stat status;
  const bool cleared = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                       input_index(static_cast<std::uint64_t>(status.st_dev),
                                   static_cast<std::uint64_t>(status.st_ino), inputs) < 0 &&
                       flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                       naming_of(folder, name, fd) == Naming::kSame &&
                       unlinkat(folder, name, 0) == 0;
  close(fd);
  return cleared ? Slot::kCleared : Slot::kTaken;
}

// Leftovers under random names are found only by reading the folder, which
// a run does only when it finds every slot taken. A folder that may not be
// read keeps them.
void clear_random_names(int folder, const std::string& prefix, const std::string& target,
                        Inputs inputs) {
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* listing = fdopendir(fd);
  if (listing == nullptr) {
    close(fd);
    return;
  }
  std::vector<std::string> found;
  while (const dirent* entry = readdir(listing)) {
    if (is_random_name(entry->d_name, prefix)) found.emplace_back(entry->d_name);
  }
  closedir(listing);
  for (const std::string& name : found) clear_slot(folder, name.c_str(), target, inputs);
}

void disarm() {
  g_armed = 0;
  g_folder = -1;
  g_fd = -1;
}

bool lock(int fd) {
  int result;
  do {
    result = flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

enum class Made { kMade, kNameTaken, kFailed };

// Makes and locks a new temporary at `name`, open to its owner alone.
Made make_temp_at(OutputFile* output, const std::string& name) {
  const int folder = static_cast<int>(output->folder);
  sigset_t previous;
  block_cleanup_signals(&previous);
  const int fd =
      openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    std::memcpy(g_temp, name.c_str(), name.size() + 1);
    g_folder = folder;
    g_fd = fd;
    g_armed = 1;
    output->temp = name;
    output->handle = fd;
  }
  restore_signals(&previous);
  if (fd < 0) return errno == EEXIST || errno == EINTR ? Made::kNameTaken : Made::kFailed;
  // Where a file system has no locks, no other run can take this one for a
  // leftover either.
  if (!lock(fd)) return Made::kMade;
  switch (naming_of(folder, name.c_str(), fd)) {
    case Naming::kSame:
      return Made::kMade;
    case Naming::kOther:
      // Another run's cleaning took it before the lock; the name is not ours.
      block_cleanup_signals(&previous);
      disarm();
      restore_signals(&previous);
      output->temp.clear();
      output->handle = -1;
      close(fd);
      return Made::kNameTaken;
    case Naming::kUnknown:
      break;
  }
  // Whether the name is still this run's is not known: the caller removes
  // it, unless another file is seen at the name then, so that no temporary
  // outlives the run.
  return Made::kFailed;
}

// Makes and locks a new temporary in the first free slot, clearing the
// leftovers in every slot; where none is free, under a random name.
bool make_temp(OutputFile* output, const std::string& prefix, Inputs inputs) {
  const int folder = static_cast<int>(output->folder);
  const std::string target = output->target;
  for (int slot = 0; slot < kSlots; ++slot) {
    const std::string name = slot_name(prefix, slot);
    if (clear_slot(folder, name.c_str(), target, inputs) == Slot::kTaken || !output->temp.empty()) {
      continue;
    }
    if (make_temp_at(output, name) == Made::kFailed) return false;
  }
  if (!output->temp.empty()) return true;
  clear_random_names(folder, prefix, target, inputs);
  for (int attempt = 0; attempt < kRandomTries; ++attempt) {
    const std::string name = random_name(prefix);
    if (name == target) continue;
    const Made made = make_temp_at(output, name);
    if (made != Made::kNameTaken) return made == Made::kMade;
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

CreateResult create_output(const std::string& path, const char* tag, Inputs inputs,
                           OutputFile* output) {
  *output = OutputFile();
  install_cleanup_handlers();
  g_committed = 0;

  PlainTarget target;
  if (!find_plain_target(path, &target)) return CreateResult::kCannotCreate;
  output->folder = target.folder;
  output->target = target.name;
  CreateResult result = CreateResult::kCreated;
  const int named = target.exists ? input_index(target.volume, target.file_id, inputs) : -1;
  if (named >= 0) {
    output->named_input = static_cast<std::size_t>(named);
    result = CreateResult::kIsInput;
  } else if ((target.exists && !may_replace(&target)) || !folder_takes_renames(target) ||
             !make_temp(output, temp_prefix(output->target, tag), inputs) ||
             !keep_what_a_plain_open_keeps(target, output)) {
    result = CreateResult::kCannotCreate;
  }
  target.folder = -1;  // the output's from here on
  close_plain_target(&target);
  if (result != CreateResult::kCreated) discard_output(output);
  return result;
}

ByteSink output_sink(OutputFile* output) { return ByteSink{write_output, output}; }

// Text and bytes are one here: "\n" is the line end.
ByteSink binary_output_sink(OutputFile* output) { return ByteSink{write_output, output}; }

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
  const bool committed =
      probe >= 0 && close(probe) == 0 && fchmod(fd, static_cast<mode_t>(output->mode)) == 0 &&
      renameat(folder, output->temp.c_str(), folder, output->target.c_str()) == 0;
  if (committed) {
    g_committed = 1;
  } else {
    remove_temp(folder, output->temp.c_str(), fd);
  }
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
    remove_temp(static_cast<int>(output->folder), output->temp.c_str(),
                static_cast<int>(output->handle));
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
