// The records shared by kestrin-preview's parts, and its one entry point.
#pragma once

// What the command line asks for, and how a word's pixels are shown. Plain
// records: the parts that use them hold the behaviour.

#include <cstdint>
#include <string>

#include "kestrin/bitmap.h"

namespace kestrin::preview {

// How the words' luma and chroma become red, green and blue.
enum class Display {
  kConsole,  // BT.601 studio range, as the console's video output shows it
  kFull,     // JFIF full range: the inverse of Kestrin's encoding
};

struct Options {
  std::string header_path;
  std::string output_path;   // the header's path with ".png" appended, unless given
  std::string compare_path;  // empty: no comparison
  Display display = Display::kConsole;
  bool transparent = false;
  Colour3 key{0xFF, 0x00, 0xFF};  // blue, green, red: 0xFF00FF
  unsigned scale = 1;
  // The header's argument came right after "--transparent": a colour there
  // was meant as the key.
  bool header_follows_transparent = false;
};

// Runs one preview from the command line and returns the exit status.
int run_preview(int argc, char** argv);

}  // namespace kestrin::preview
