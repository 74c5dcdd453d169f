// The whole Lortane program.
#pragma once

namespace lortane {

// The whole program: `lortane <variable_name> <in_filename> <out_filename>`
// turns a text file into a C source file that defines an array of string
// literals, one per line of the text, ending with NULL. Progress and errors go to
// standard output; returns an ExitStatus.
int run_string_array(int argc, char** argv);

}  // namespace lortane
