// What the hostile-input and fault tests share.
#pragma once

// What the hostile-input and fault tests share: the programs, their banners,
// and running them through a shell with limits.

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_folder.h"

using Names = std::vector<std::string>;

inline const std::string kKestrinBanner =
    "Kestrin Converter, Version 1.01 (24-bit BMP to GCube header)\n";
inline const std::string kLortaneBanner =
    "Lortane Converter, Version 1.00 (text file to C string array)\n";

// Kestrin's console on the 2 x 2 picture the hostile tests use, up to its dump.
inline std::string kestrin_progress(const std::string& input) {
  return kKestrinBanner + "Opening File: " + input +
         "\n\tInfoHeader: header size=40, Width, Height=(2,2)\n"
         "\tInfoHeader: planes=1, bits=24, compression=0, image size (bytes)=16\n";
}

inline std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `program` with `args` in `folder` after the shell commands in `setup`
// (limits, traps), e.g. with_shell("ulimit -f 0", KESTRIN_PATH, {"pic.bmp"}, folder).
inline ProgramResult with_shell(const std::string& setup, const std::string& program,
                                const Names& args, const std::string& folder) {
  std::string command = setup.empty() ? "exec" : setup + " && exec";
  command += " " + shell_quote(program);
  for (const std::string& arg : args) command += " " + shell_quote(arg);
  return run_shell(command, folder);
}

// A run of at most ten seconds: a program that waits for ever (on a FIFO, say)
// is ended and shows as exit status 124.
inline ProgramResult bounded(const std::string& program, const Names& args,
                             const std::string& folder) {
  Names timed{"10", program};
  timed.insert(timed.end(), args.begin(), args.end());
  return with_shell("", "timeout", timed, folder);
}
