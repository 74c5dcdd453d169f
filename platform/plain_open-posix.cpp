// The kernel's rules for a plain open for writing, applied through handles.

#include "platform/plain_open-posix.h"

#include <fcntl.h>
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

// A setting of fs.protected_symlinks or fs.protected_regular (0 to 2). One
// that cannot be read counts as 1, what the distributions set.
int protection(const char* setting) {
  const int fd = open(setting, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  char text[4];
  const ssize_t length = read(fd, text, sizeof text);
  close(fd);
  return length > 0 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : 1;
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
  if (protection("/proc/sys/fs/protected_symlinks") == 0) return true;
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

// Whether the file or folder open as `fd` is append-only or immutable.
bool is_append_only_or_immutable(int fd) {
  struct statx status;
  return statx(fd, "", AT_EMPTY_PATH, 0, &status) == 0 &&
         (status.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
}

// Whether a plain open could write the file, by the kernel's own check of
// the handle (permission bits, access list, read-only mount, immutable).
bool writable(const PlainTarget& target) {
  if (faccessat(target.node, "", W_OK, AT_EACCESS | AT_EMPTY_PATH) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // Kernels before 5.8 check a file by its name only.
  return faccessat(target.folder, target.name.c_str(), W_OK, AT_EACCESS) == 0;
}

// fs.protected_regular (fs/namei.c, may_create_in_sticky): in a sticky folder,
// O_CREAT on another user's existing file, which the folder's owner does not
// own either, fails in a world-writable folder (1) or a group-writable one
// (2), whoever opens it.
bool protected_in_sticky(const struct stat& folder, const struct stat& file) {
  if ((folder.st_mode & S_ISVTX) == 0 || file.st_uid == folder.st_uid || file.st_uid == geteuid()) {
    return false;
  }
  const int level = protection("/proc/sys/fs/protected_regular");
  return (level >= 1 && (folder.st_mode & S_IWOTH) != 0) ||
         (level >= 2 && (folder.st_mode & S_IWGRP) != 0);
}

// The calls that read extended attributes take a name or an open file: the
// name /proc gives the handle leads to that very file. Without /proc the
// target is opened again by its own name, for reading, and used only while it
// is still the file that was looked at.
struct AttributeSource {
  std::string path;  // under /proc/self/fd, or empty
  int fd = -1;       // opened again, or -1
};

bool open_attribute_source(const PlainTarget& target, AttributeSource* source) {
  source->path = "/proc/self/fd/" + std::to_string(target.node);
  struct stat status;
  if (stat(source->path.c_str(), &status) == 0) return true;
  source->path.clear();
  source->fd = openat(target.folder, target.name.c_str(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  return source->fd >= 0 && fstat(source->fd, &status) == 0 &&
         status.st_dev == target.status.st_dev && status.st_ino == target.status.st_ino;
}

ssize_t list_attributes(const AttributeSource& source, char* list, std::size_t size) {
  return source.fd >= 0 ? flistxattr(source.fd, list, size)
                        : listxattr(source.path.c_str(), list, size);
}

ssize_t get_attribute(const AttributeSource& source, const char* name, char* value,
                      std::size_t size) {
  return source.fd >= 0 ? fgetxattr(source.fd, name, value, size)
                        : getxattr(source.path.c_str(), name, value, size);
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

bool carry_from(const AttributeSource& source, int fd) {
  std::vector<char> names;
  if (!read_sized([&](char* list, std::size_t size) { return list_attributes(source, list, size); },
                  &names)) {
    // A file system without extended attributes has none to keep.
    if (errno != ENOTSUP) return false;
    names.clear();
  }
  bool has_access_list = false;
  std::vector<char> value;
  for (std::size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
    const char* name = &names[at];
    const bool required =
        std::strcmp(name, kAccessList) == 0 || std::strncmp(name, "user.", 5) == 0;
    const bool carried =
        read_sized(
            [&](char* data, std::size_t size) { return get_attribute(source, name, data, size); },
            &value) &&
        fsetxattr(fd, name, value.data(), value.size(), 0) == 0;
    if (!carried && required) return false;
    if (carried && std::strcmp(name, kAccessList) == 0) has_access_list = true;
  }
  // The new file may have had one handed on by its folder.
  return has_access_list || fremovexattr(fd, kAccessList) == 0 || errno == ENODATA ||
         errno == ENOTSUP;
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
      return true;
    }
    if (!S_ISLNK(status.st_mode)) {
      target->folder = folder;
      target->name = name;
      target->node = node;
      target->status = status;
      return true;
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

bool may_replace(const PlainTarget& target) {
  const struct stat& file = target.status;
  struct stat folder;
  if (!S_ISREG(file.st_mode) || !writable(target) || is_append_only_or_immutable(target.node) ||
      fstat(target.folder, &folder) != 0 || protected_in_sticky(folder, file)) {
    return false;
  }
  const uid_t me = geteuid();
  return (folder.st_mode & S_ISVTX) == 0 || me == 0 || file.st_uid == me || folder.st_uid == me;
}

bool folder_takes_renames(const PlainTarget& target) {
  return !is_append_only_or_immutable(target.folder);
}

bool carry_attributes(const PlainTarget& target, int fd) {
  AttributeSource source;
  const bool carried = open_attribute_source(target, &source) && carry_from(source, fd);
  if (source.fd >= 0) close(source.fd);
  return carried;
}

void close_plain_target(PlainTarget* target) {
  if (target->node >= 0) close(target->node);
  if (target->folder >= 0) close(target->folder);
  *target = PlainTarget();
}

}  // namespace platform
