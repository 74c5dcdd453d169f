// The whole-or-nothing output file.
#pragma once

// An output file that appears whole or not at all: the text goes to a
// temporary file beside the target (".<target><tag>NN"), which takes
// the target's place by one rename once everything has been written. Readers
// see the whole earlier file or the whole new one, and so does the file system
// after a crash wherever a rename over a file orders the new data first (ext4
// and Btrfs with their default options). A failed or interrupted run removes
// the temporary and leaves an earlier target untouched; a temporary that a
// killed run left behind is removed by the next run for the same target. One
// output at a time per process: a signal handler keeps its name.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/byte_stream.h"
#include "platform/input_file.h"

namespace platform {

struct OutputFile {
  std::intptr_t folder = -1;    // the target's folder, where the platform opens one
  std::string target;           // the file that is replaced, with its links followed
  std::string temp;             // the temporary; empty when none is open
  std::intptr_t handle = -1;    // the temporary, open for writing
  std::size_t named_input = 0;  // with kIsInput: which of the inputs the target is
  std::uint32_t mode = 0;       // POSIX: the permission bits it takes as it is committed
};

// The open inputs of a run, which its output never replaces or removes.
using Inputs = std::initializer_list<const InputFile*>;

enum class CreateResult {
  kCreated,
  kCannotCreate,  // a plain open for writing would fail, or the temporary cannot be made
  kIsInput,       // the target is one of the inputs, under another name
};

// Prepares to replace `path`, failing and creating nothing where a plain open
// for writing would fail: the target exists but is not a regular file or may
// not be written, or its folder is missing or not writable. A symbolic link
// keeps pointing at the new file; an existing target keeps its permission
// bits, access list and extended attributes, a new one gets what a plain
// open gives it there (its folder's default access list, or 0666 less the
// umask). `tag` names the program in its
// temporaries (".kestrin-"), so that each program's runs meet only their own
// leftovers. No input is ever replaced or removed, under any name. From here on the terminating
// signals remove the temporary before they end the process, and a file-size limit shows as a failed
// write.
CreateResult create_output(const std::string& path, const char* tag, Inputs inputs,
                           OutputFile* output);

// A ByteSink that writes to the temporary, every "\n" as the platform's line end.
ByteSink output_sink(OutputFile* output);

// A ByteSink that writes to the temporary byte for byte, for binary files.
ByteSink binary_output_sink(OutputFile* output);

// Puts the finished temporary in the target's place. On failure the temporary
// is removed and the target is as it was.
bool commit_output(OutputFile* output);

// Closes and removes the temporary; the target is as it was. Does nothing once
// the output is committed or discarded.
void discard_output(OutputFile* output);

}  // namespace platform
