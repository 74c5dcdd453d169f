// What a plain open for writing would do with a target on Linux.
#pragma once

// A run writes its output as open(path, O_WRONLY | O_CREAT | O_TRUNC) would,
// but through a temporary and a rename. These are the kernel's rules that
// the output must follow all the same: which file the open reaches through
// links, when it refuses, and what the file keeps. Every decision about a
// name is made on a handle of what the name held when it was looked up once,
// so that nobody can change the file between the decision and its use.

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace platform {

// The file a plain open for writing would write.
struct PlainTarget {
  int folder = -1;        // the folder holding `name`, open as a path only
  std::string name;       // the last name, in `folder`
  int node = -1;          // what `name` holds, open as a path only; -1 for a new file
  struct stat status {};  // of `node`
  int writer = -1;        // the existing file open for writing, once may_replace has passed it
};

// Walks `path` as a plain open would: folders as the kernel itself walks them,
// and every link in the last place through its own handle, followed only where
// the kernel would (fs.protected_symlinks, nosymfollow mounts), to the file
// it names, which need not exist. False where the open would fail on the way,
// too many links included.
bool find_plain_target(const std::string& path, PlainTarget* target);

// Whether a plain open would write the existing file (a regular one that the
// kernel opens for writing: permission bits, access list, append-only,
// immutable, read-only mount, a program running from it; not refused by
// fs.protected_regular), and whether this run may then rename over it: in a
// sticky folder only the file's owner, the folder's owner or root may. The
// file stays open for writing (`writer`), never truncated, to read its
// attributes from.
bool may_replace(PlainTarget* target);

// Whether a temporary may be made in the folder and renamed there: it is
// neither append-only nor immutable.
bool folder_takes_renames(const PlainTarget& target);

// Gives the new file `fd` the extended attributes of the existing target,
// which a plain open would keep: its access list and its user.* attributes,
// or false (also where the runner may not read them); the others
// (security.*, trusted.*) where this run may set them. An access list that
// the new file had from its folder goes first.
bool carry_attributes(const PlainTarget& target, int fd);

// What open(path, O_CREAT, 0666) gives a new file in the target's folder: its
// permission bits and access list (empty for none), learnt from a file
// without a name (O_TMPFILE) that nobody else can open; where the file system
// makes none, 0666 less the umask and no list.
void new_file_permissions(const PlainTarget& target, std::uint32_t* mode, std::string* access_list);

// Gives the file `fd` the access list `list`, or takes its own away where
// `list` is empty.
bool set_access_list(int fd, const std::string& list);

void close_plain_target(PlainTarget* target);

}  // namespace platform
