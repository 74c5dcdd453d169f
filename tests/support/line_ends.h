// Line ends of what the tools write: on Windows every "\n" reaches a file or
// the console as CR LF, elsewhere as it is.
#pragma once

#include <string>

// On Windows, fails the current test unless every "\n" in `bytes` follows a
// "\r" (naming `what` and the first line end without one), and gives the
// text with each CR LF as "\n"; elsewhere gives `bytes` as they are. So the
// expected texts of the tests hold on every platform.
std::string with_lf_line_ends(const std::string& bytes, const std::string& what);

// A file that one of the tools wrote, read through with_lf_line_ends.
std::string read_output_file(const std::string& path);
