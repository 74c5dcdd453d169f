// The records shared by kestrin-prepare's parts, and its one entry point.
#pragma once

#include <string>

#include "kestrin/bitmap.h"

namespace kestrin::prepare {

struct Options {
  std::string picture_path;
  std::string output_path;  // the picture's path with ".bmp" for its extension, unless given
  bool output_given = false;
  Colour3 key{0xFF, 0x00, 0xFF};   // blue, green, red: 0xFF00FF
  unsigned alpha_threshold = 128;  // alpha below it is transparent
  bool quiet = false;
};

// Runs one preparation from the command line and returns the exit status.
int run_prepare(int argc, char** argv);

}  // namespace kestrin::prepare
