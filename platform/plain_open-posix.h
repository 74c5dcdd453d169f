// What a plain open for writing would do with a target on Linux.
#pragma once

// A run writes its output as open(path, O_WRONLY | O_CREAT | O_TRUNC) would,
// but through a temporary and a rename. These are the kernel's rules that
// the output must follow all the same: which file the open reaches through
// links, when it refuses, and what the file keeps. Every decision about a
// name is made on a handle of what the name held when it was looked up once,
// so that nobody can change the file between the decision and its use.

#include <sys/stat.h>

#include <string>

namespace platform {

// The file a plain open for writing would write.
struct PlainTarget {
  int folder = -1;        // the folder holding `name`, open as a path only
  std::string name;       // the last name, in `folder`
  int node = -1;          // what `name` holds, open as a path only; -1 for a new file
  struct stat status {};  // of `node`
};

// Walks `path` as a plain open would: folders as the kernel itself walks them,
// and every link in the last place through its own handle, followed only where
// the kernel would (fs.protected_symlinks, nosymfollow mounts), to the file
// it names, which need not exist. False where the open would fail on the way.
bool find_plain_target(const std::string& path, PlainTarget* target);

// Whether a plain open would write the existing file (a regular one, writable,
// neither append-only nor immutable, not refused by fs.protected_regular),
// and whether this run may then rename over it: in a sticky folder only the
// file's owner, the folder's owner or root may.
bool may_replace(const PlainTarget& target);

// Whether a temporary may be made in the folder and renamed there: it is
// neither append-only nor immutable.
bool folder_takes_renames(const PlainTarget& target);

// Gives the new file `fd` the extended attributes of the existing target,
// which a plain open would keep: its access list and its user.* attributes,
// or false; the others (security.*, trusted.*) where this run may set them.
// A new file's access list that the target did not have goes.
bool carry_attributes(const PlainTarget& target, int fd);

void close_plain_target(PlainTarget* target);

}  // namespace platform
