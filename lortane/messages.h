// Lortane's console messages and exit statuses.
#pragma once

// Everything Lortane says on the console, and how it ends. Each message is a
// printf format taking at most one string argument.

namespace lortane {

enum ExitStatus : int {
  kExitSuccess = 0,      // output written and renamed into place
  kExitUsage = 1,        // wrong number of arguments
  kExitCannotOpen = 2,   // input or output cannot be opened, or they are one file
  kExitReadOrWrite = 3,  // input could not be read or output could not be written
};

inline constexpr char kBanner[] = "Lortane Converter, Version 1.00 (text file to C string array)\n";

inline constexpr char kUsage[] =
    "Args:  <variable_name> <in_filename> <out_filename>\n"
    "Converts an ASCII file to an array of strings.\n"
    "This is intended as a compile time step to include a file in a binary,\n"
    "executable and not have to read it from disk at run-time.\n";

inline constexpr char kOpeningInput[] = "Opening Input File: %s\n";
inline constexpr char kOpeningOutput[] = "Opening Output File: %s\n";
inline constexpr char kUsingName[] = "Using variable name: %s\n";

inline constexpr char kCannotOpen[] = "Can't open: %s\n";  // input path or output path
inline constexpr char kSameFile[] = "ERROR: input and output are the same file: %s\n";  // input
inline constexpr char kReadError[] = "ERROR: error reading file: %s\n";                 // input
inline constexpr char kWriteError[] = "ERROR: error writing file: %s\n";                // output

}  // namespace lortane
