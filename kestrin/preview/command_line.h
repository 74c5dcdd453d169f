// kestrin-preview's command line: options, the header and the picture.
#pragma once

#include <string>

#include "kestrin/preview/preview.h"

namespace kestrin::preview {

enum class Request {
  kPreview,  // `*options` holds a preview to make
  kHelp,
  kVersion,
  kMistake,  // `*mistake` says what is wrong, in one line without its end
};

// Reads argv[1..argc-1]: options (each also as --name=value, and "--" ending
// them) and then the header and, optionally, the PNG's path. The last of
// repeated options counts; --help and --version win over anything else
// that is well formed.
Request read_command_line(int argc, char** argv, Options* options, std::string* mistake);

}  // namespace kestrin::preview
