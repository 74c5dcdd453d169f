// kestrin-prepare's command line: options, the picture and the BMP.
#pragma once

#include <string>

#include "kestrin/companion_command_line.h"
#include "kestrin/prepare/prepare.h"

namespace kestrin::prepare {

// Reads argv[1..argc-1] as the companions do (companion_command_line.h): the
// options, the picture and, optionally, the BMP's path; a run fills
// `*options`, a mistake `*mistake`.
CommandRequest read_command_line(int argc, char** argv, Options* options, std::string* mistake);

// The picture's path with its extension, if its name has one, replaced by
// ".bmp": "art/ship.png" gives "art/ship.bmp".
std::string default_output(const std::string& picture);

}  // namespace kestrin::prepare
