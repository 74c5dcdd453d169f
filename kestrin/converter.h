// Kestrin's command line and the order of its steps.
#pragma once

// The converter's command line and the order of its steps.

#include "kestrin/bitmap.h"

namespace kestrin {

// Runs one conversion from the command line and returns the exit status.
int run_converter(int argc, char** argv);

// Prints the three usage lines (the last without a line end).
void print_usage();

// Reads one colour argument as the C library's "%i" does (0x… hexadecimal,
// 0… octal, decimal otherwise; a sign; text after the number ignored) and
// takes it as 0xRRGGBB. False when the argument holds no number.
bool scan_colour(const char* text, Colour3* colour);

}  // namespace kestrin
