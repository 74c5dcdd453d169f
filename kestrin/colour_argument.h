// Reading a colour from the command line.
#pragma once

#include "kestrin/bitmap.h"

namespace kestrin {

// Reads one colour argument as a C "%i" conversion does: white space, an
// optional sign, then hexadecimal after "0x" or "0X", octal after a leading
// "0", decimal otherwise; text after the number is ignored. The number is
// taken as 0xRRGGBB, bits 24 and up ignored. False when the argument holds
// no number.
bool scan_colour(const char* text, Colour3* colour);

}  // namespace kestrin
