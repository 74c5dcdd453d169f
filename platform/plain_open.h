// What a plain open for writing would do with the output's target.
#pragma once

// A run writes its output as open(path, O_WRONLY | O_CREAT | O_TRUNC), or
// CreateFile, would, but through a temporary and a rename. These are the
// rules that the output must follow all the same: which file the open
// reaches through links, when it refuses, and what the file keeps. Each
// platform applies its own (plain_open-posix.cpp, plain_open-win32.cpp); on
// Linux every decision about a name is made on a handle of what the name held
// when it was looked up once, so that nobody can change the file between the
// decision and its use.

#include <cstdint>
#include <string>

#include "platform/output_file.h"

namespace platform {

// The file a plain open for writing would write.
struct PlainTarget {
  std::string name;          // the new file's name: POSIX, in `folder`; Windows, its full path
  bool exists = false;       // false for a new file
  std::uint64_t volume = 0;  // an existing file's identity, as an InputFile's
  std::uint64_t file_id = 0;
  // POSIX: the folder holding `name`, the existing file (both open as paths
  // only), and that file open for writing once may_replace has passed it.
  std::intptr_t folder = -1;
  std::intptr_t node = -1;
  std::intptr_t writer = -1;
  std::uint32_t mode = 0;  // POSIX: an existing file's type and permission bits
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  void* security = nullptr;  // Windows: an existing file's security descriptor, LocalFree'd
  // (its owner, group and access list); its attributes are in `mode`.
};

// Which of the inputs has the identity `volume` and `file_id`, or -1.
inline int input_index(std::uint64_t volume, std::uint64_t file_id, Inputs inputs) {
  int index = 0;
  for (const InputFile* input : inputs) {
    if (input->volume == volume && input->file_id == file_id) return index;
    ++index;
  }
  return -1;
}

// Walks `path` as a plain open would, to the file it names, which need not
// exist. False where the open would fail on the way. POSIX: folders as the
// kernel itself walks them, and every link in the last place through its own
// handle, followed only where the kernel would (fs.protected_symlinks,
// nosymfollow mounts), up to the kernel's count of links. Windows: a link is
// followed to its file, a short name is spelt out, and a device or a named
// stream ("x.png:s") is refused.
bool find_plain_target(const std::string& path, PlainTarget* target);

// Whether a plain open would write the existing file, and whether this run
// may then rename over it. POSIX: a regular file that the kernel opens for
// writing (permission bits, access list, append-only, immutable, a read-only
// mount, a program running from it), not refused by fs.protected_regular;
// in a sticky folder only its owner, the folder's owner or root may rename
// over it. The file stays open for writing (`writer`), never truncated, to
// read its attributes from. Windows: a file on a disk, neither a folder nor
// read-only.
bool may_replace(PlainTarget* target);

// Whether a temporary may be made in the target's folder and renamed there:
// on POSIX it is neither append-only nor immutable.
bool folder_takes_renames(const PlainTarget& target);

// Gives the temporary `output->handle` what a plain open would leave the
// file with: an existing target's access list and extended attributes
// (Windows: access list), owner and group where the run may give them, and
// permission bits; a new one's as its folder gives them. POSIX: the bits go
// to `output->mode`, for the commit, and the temporary stays open to its
// owner alone until then. False where what must be kept cannot be.
bool keep_what_a_plain_open_keeps(const PlainTarget& target, OutputFile* output);

void close_plain_target(PlainTarget* target);

// Whether to try again after `error` from try number `attempt`: Windows waits,
// for about 300 ms in all (after 5, 10, 20, 40, 80 and 150 ms), for a target
// that another program (a virus scanner, an indexer) holds open without
// sharing for a moment. Nothing holds a file so on POSIX systems.
bool wait_while_held(unsigned long error, int attempt);

}  // namespace platform
