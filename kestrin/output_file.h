#pragma once

// An output file that appears whole or not at all: the text goes to a
// temporary file in the target's folder, which takes the target's place only
// once everything has been written. A failed or interrupted run (SIGINT,
// SIGTERM, SIGHUP, SIGPIPE) removes the temporary and leaves an earlier target
// untouched; a write past a file-size limit fails like any other write.

#include <cstdio>
#include <string>

struct OutputFile {
  std::string target;     // the file that is replaced: the path with its links followed
  std::string temp_path;  // empty when nothing is open
  std::FILE* stream = nullptr;
};

// Fails, creating nothing, when a plain open for writing would fail too: the
// target exists but is not a regular file or is not writable, or its folder
// does not exist or is not writable. A link keeps pointing at the new file;
// an existing target keeps its permission bits, a new one gets 0666 less the
// umask.
bool open_output_file(const std::string& path, OutputFile* file);

// Flushes, closes and renames the temporary over the target. On failure the
// temporary is removed and the target is left as it was.
bool commit_output_file(OutputFile* file);

// Closes and removes the temporary.
void discard_output_file(OutputFile* file);
