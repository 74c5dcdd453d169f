// kestrin-preview's command line: options, the header and the picture.
#pragma once

#include <string>

#include "kestrin/companion_command_line.h"
#include "kestrin/preview/preview.h"

namespace kestrin::preview {

// Reads argv[1..argc-1] as the companions do (companion_command_line.h): the
// options, the header and, optionally, the PNG's path; a run fills
// `*options`, a mistake `*mistake`.
CommandRequest read_command_line(int argc, char** argv, Options* options, std::string* mistake);

}  // namespace kestrin::preview
