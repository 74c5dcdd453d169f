// The kernel's rules for a plain open for writing on Linux, applied through handles.

#include "platform/plain_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// The kernel gives up on longer chains with ELOOP; so does this.
constexpr int kMaxSymbolicLinks = 40;
// A folder or a link is only ever named through, never read, so it needs no
// permission to read.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr int kNodeFlags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
// statvfs's flag for a mount that follows no link (Linux 5.10), where the C
// library's headers are older.
#ifdef ST_NOSYMFOLLOW
constexpr unsigned long kNoSymFollow = ST_NOSYMFOLLOW;
#else
constexpr unsigned long kNoSymFollow = 0x2000;
#endif
constexpr char kAccessList[] = "system.posix_acl_access";

// A setting of fs.protected_symlinks or fs.protected_regular, from 0 to
// `strictest`. One that cannot be read (no /proc) counts as the strictest,
// so that a run never writes where the kernel might refuse.
int protection(const char* setting, int strictest) {
  const int fd = open(setting, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return strictest;
  char text[4];
  const ssize_t length = read(fd, text, sizeof text);
  close(fd);
  return length > 0 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : strictest;
}

// Splits `path` into its folder ("" for a bare name) and its last name.
void split_path(const std::string& path, std::string* folder, std::string* name) {
  const std::size_t slash = path.rfind('/');
  *folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens `folder` relative to the folder `base` as the kernel walks a path:
// with "." after it, its own last name is a link inside the path, which
// fs.protected_symlinks leaves alone, as it does for an open of a file in it.
int open_folder(int base, const std::string& folder) {
  int fd;
  do {
    fd = openat(base, (folder + ".").c_str(), kFolderFlags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The kernel's rule for the last link of a path (fs/namei.c, may_follow_link):
// under fs.protected_symlinks a link in a sticky, world-writable folder is
// followed only by its owner, or when the folder's owner owns it too. No link
// on a nosymfollow mount is followed.
bool may_follow(int folder, int link, const struct stat& link_status) {
  struct statvfs volume;
  if (fstatvfs(link, &volume) != 0 || (volume.f_flag & kNoSymFollow) != 0) return false;
  if (protection("/proc/sys/fs/protected_symlinks", 1) == 0) return true;
  struct stat folder_status;
  if (fstat(folder, &folder_status) != 0) return false;
  return link_status.st_uid == geteuid() ||
         (folder_status.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) ||
         folder_status.st_uid == link_status.st_uid;
}

// The text of the link open as `link`.
bool read_link(int link, std::string* text) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlinkat(link, "", &buffer[0], buffer.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      text->assign(buffer, 0, static_cast<std::size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Whether the folder open as `fd` is append-only or immutable.
bool is_append_only_or_immutable(int fd) {
  struct statx status;
  return statx(fd, "", AT_EMPTY_PATH, 0, &status) == 0 &&
         (status.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
}

// Opens the existing file for writing, without truncating it, as the kernel
// lets a plain open (permission bits, access list, append-only, immutable, a
// read-only mount, a program running from it): its own checks, not a copy of
// them. The name is looked up again, so the handle counts only when it is the
// file that the walk found; it also serves to read the file's attributes.
int open_for_writing(const PlainTarget& target) {
  int fd;
  do {
    fd = openat(static_cast<int>(target.folder), target.name.c_str(),
                O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  struct stat status;
  if (fd >= 0 && (fstat(fd, &status) != 0 || status.st_dev != target.volume ||
                  status.st_ino != target.file_id)) {
    close(fd);
    return -1;
  }
  return fd;
}

// fs.protected_regular (fs/namei.c, may_create_in_sticky): in a sticky folder,
// O_CREAT on another user's existing file, which the folder's owner does not
// own either, fails in a world-writable folder (1) or a group-writable one
// (2), whoever opens it.
bool protected_in_sticky(const struct stat& folder, uid_t owner) {
  if ((folder.st_mode & S_ISVTX) == 0 || owner == folder.st_uid || owner == geteuid()) {
    return false;
  }
  const int level = protection("/proc/sys/fs/protected_regular", 2);
  return (level >= 1 && (folder.st_mode & S_IWOTH) != 0) ||
         (level >= 2 && (folder.st_mode & S_IWGRP) != 0);
}

// Reads what `call` gives into `buffer`, as large as it needs.
template <typename Call>
bool read_sized(Call call, std::vector<char>* buffer) {
  for (;;) {
    const ssize_t size = call(nullptr, 0);
    if (size < 0) return false;
    buffer->resize(static_cast<std::size_t>(size));
    const ssize_t got = call(buffer->data(), buffer->size());
    if (got >= 0) {
      buffer->resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // it grew meanwhile: again
  }
}

// Gives the new file `fd` the extended attributes of the existing file open
// as `source`, which a plain open would keep: its access list and its user.*
// attributes, or false (also where the runner may not read them); the others
// (security.*, trusted.*) where this run may set them.
bool carry_from(int source, int fd) {
  // The new file may have had an access list handed on by its folder, which
  // goes first, so that it never takes room the target's attributes need.
  if (fremovexattr(fd, kAccessList) != 0 && errno != ENODATA && errno != ENOTSUP) return false;
  std::vector<char> names;
  if (!read_sized([&](char* list, std::size_t size) { return flistxattr(source, list, size); },
                  &names)) {
    // A file system without extended attributes has none to keep.
    if (errno != ENOTSUP) return false;
    names.clear();
  }
  std::vector<char> value;
  for (std::size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
    const char* name = &names[at];
    const bool required =
        std::strcmp(name, kAccessList) == 0 || std::strncmp(name, "user.", 5) == 0;
    const bool carried =
        read_sized(
            [&](char* data, std::size_t size) { return fgetxattr(source, name, data, size); },
            &value) &&
        fsetxattr(fd, name, value.data(), value.size(), 0) == 0;
    if (!carried && required) return false;
  }
  return true;
}

// Whether the kernel gives up on the path for its links: the walk above
// counts only the links in the last place, and each folder it opens follows
// up to the kernel's limit again. Used only to refuse.
bool kernel_gives_up(const std::string& path) {
  const int fd = openat(AT_FDCWD, path.c_str(), O_PATH | O_CLOEXEC);
  if (fd >= 0) close(fd);
  return fd < 0 && errno == ELOOP;
}

bool found(const std::string& path, PlainTarget* target) {
  if (!kernel_gives_up(path)) return true;
  close_plain_target(target);
  return false;
}

// What open(path, O_CREAT, 0666) gives a new file in the target's folder:
// its permission bits and access list (empty for none), learnt from a file
// without a name (O_TMPFILE) that nobody else can open; where the file
// system makes none, 0666 less the umask and no list.
void new_file_permissions(const PlainTarget& target, std::uint32_t* mode,
                          std::string* access_list) {
  access_list->clear();
#ifdef O_TMPFILE
  const int made =
      openat(static_cast<int>(target.folder), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  struct stat status;
  if (made >= 0 && fstat(made, &status) == 0) {
    *mode = status.st_mode & 0777;
    std::vector<char> list;
    if (read_sized(
            [&](char* data, std::size_t size) { return fgetxattr(made, kAccessList, data, size); },
            &list)) {
      access_list->assign(list.begin(), list.end());
    }
    close(made);
    return;
  }
  if (made >= 0) close(made);
#endif
  const mode_t mask = umask(0);
  umask(mask);
  *mode = 0666 & ~mask;
}

// Gives the file `fd` the access list `list`, or takes its own away.
bool set_access_list(int fd, const std::string& list) {
  if (list.empty()) {
    return fremovexattr(fd, kAccessList) == 0 || errno == ENODATA || errno == ENOTSUP;
  }
  return fsetxattr(fd, kAccessList, list.data(), list.size(), 0) == 0;
}

// The new file takes the target's owner and group where this run may give
// them (root may; a user may keep a group of theirs). Where the owner cannot
// be kept, the file is the runner's, as any file replaced by a rename is.
void take_owner(int fd, const PlainTarget& target) {
  if (fchown(fd, target.owner, target.group) != 0) {
    (void)!fchown(fd, static_cast<uid_t>(-1), target.group);
  }
}

}  // namespace

bool find_plain_target(const std::string& path, PlainTarget* target) {
  *target = PlainTarget();
  std::string rest = path;
  int base = AT_FDCWD;
  for (int links = 0;; ++links) {
    std::string folder_part, name;
    split_path(rest, &folder_part, &name);
    const int folder = open_folder(base, folder_part);
    if (base != AT_FDCWD) close(base);
    if (folder < 0) return false;
    // A path that ends in a folder names no file to write.
    if (name.empty() || links > kMaxSymbolicLinks) {
      close(folder);
      return false;
    }
    const int node = openat(folder, name.c_str(), kNodeFlags);
    struct stat status;
    if (node < 0 || fstat(node, &status) != 0) {
      const bool is_new = node < 0 && errno == ENOENT;
      if (node >= 0) close(node);
      if (!is_new) {
        close(folder);
        return false;
      }
      target->folder = folder;
      target->name = name;
      return found(path, target);
    }
    if (!S_ISLNK(status.st_mode)) {
      target->folder = folder;
      target->name = name;
      target->node = node;
      target->exists = true;
      target->volume = static_cast<std::uint64_t>(status.st_dev);
      target->file_id = static_cast<std::uint64_t>(status.st_ino);
      target->mode = status.st_mode;
      target->owner = status.st_uid;
      target->group = status.st_gid;
      return found(path, target);
    }
    const bool followed =
        may_follow(folder, node, status) && read_link(node, &rest) && !rest.empty();
    close(node);
    if (!followed) {
      close(folder);
      return false;
    }
    base = folder;
  }
}

bool may_replace(PlainTarget* target) {
  struct stat folder;
  if (!S_ISREG(target->mode) || fstat(static_cast<int>(target->folder), &folder) != 0 ||
      protected_in_sticky(folder, target->owner)) {
    return false;
  }
  target->writer = open_for_writing(*target);
  if (target->writer < 0) return false;
  const uid_t me = geteuid();
  return (folder.st_mode & S_ISVTX) == 0 || me == 0 || target->owner == me || folder.st_uid == me;
}

bool folder_takes_renames(const PlainTarget& target) {
  return !is_append_only_or_immutable(static_cast<int>(target.folder));
}

bool keep_what_a_plain_open_keeps(const PlainTarget& target, OutputFile* output) {
  const int fd = static_cast<int>(output->handle);
  if (target.exists) {
    // The attributes first, while the temporary is still this run's own.
    if (target.writer < 0 || !carry_from(static_cast<int>(target.writer), fd)) return false;
    take_owner(fd, target);
    output->mode = target.mode & 0777;
  } else {
    std::string access_list;
    new_file_permissions(target, &output->mode, &access_list);
    if (!set_access_list(fd, access_list)) return false;
  }
  // Open to its owner alone until the commit, so that nobody else can open
  // it meanwhile and a run may clear it should this one be killed, whatever
  // the bits it will take.
  return fchmod(fd, 0600) == 0;
}

bool wait_while_held(unsigned long, int) { return false; }

void close_plain_target(PlainTarget* target) {
  if (target->writer >= 0) close(static_cast<int>(target->writer));
  if (target->node >= 0) close(static_cast<int>(target->node));
  if (target->folder >= 0) close(static_cast<int>(target->folder));
  *target = PlainTarget();
}

}  // namespace platform
