// Kestrin's command line and the order of its steps.
#pragma once

// The converter's command line and the order of its steps.

#include "kestrin/bitmap.h"

namespace kestrin {

// Runs one conversion from the command line and returns the exit status.
int run_converter(int argc, char** argv);

// Prints the three usage lines (the last without a line end).
void print_usage();

}  // namespace kestrin
