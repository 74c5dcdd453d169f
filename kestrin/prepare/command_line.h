// kestrin-prepare's command line: options, the picture and the BMP.
#pragma once

#include <string>

#include "kestrin/prepare/prepare.h"

namespace kestrin::prepare {

enum class Request {
  kPrepare,  // `*options` holds a picture to prepare
  kHelp,
  kVersion,
  kMistake,  // `*mistake` says what is wrong, in one line without its end
};

// Reads argv[1..argc-1]: options (each also as --name=value, and "--" ending
// them) and then the picture and, optionally, the BMP's path. The last of
// repeated options counts; --help and --version win over anything else that
// is well formed.
Request read_command_line(int argc, char** argv, Options* options, std::string* mistake);

// The picture's path with its extension, if its name has one, replaced by
// ".bmp": "art/ship.png" gives "art/ship.bmp".
std::string default_output(const std::string& picture);

}  // namespace kestrin::prepare
