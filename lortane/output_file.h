#pragma once

#include <cstddef>
#include <string>

namespace lortane {

// The generated source on its way to the target: written to a temporary file in
// the target's folder and renamed over the target only when complete, so that a
// failed or interrupted run leaves an earlier output untouched. One at a time per
// process: the temporary's name is kept where a signal handler can remove it.
struct OutputFile {
  std::string final_path;  // the target with symbolic links followed
  std::string temp_path;
  int fd = -1;
};

// Prepares to replace `target`, as a plain open for writing would: symbolic
// links are followed to the file they name (which need not exist yet), and an
// existing file must be a regular file the caller may write. The temporary gets
// the permission bits of the file it replaces, or those of a new file under the
// umask. SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary before ending the
// process; SIGXFSZ is ignored so that going past the file size limit shows as a
// write error instead of ending the run unreported.
bool create_output(const char* target, OutputFile* output);

// ByteSink writer over an OutputFile.
bool write_output(void* output_file, const char* data, std::size_t size);

// Closes the temporary and renames it over the target. On failure the temporary
// is removed and the target is as it was.
bool commit_output(OutputFile* output);

// Closes and removes the temporary; the target is as it was.
void discard_output(OutputFile* output);

}  // namespace lortane
