// Running a built program and capturing what it prints.
#pragma once

#include <string>
#include <vector>

// What a finished program printed on standard output and how it ended.
struct ProgramResult {
  std::string output;      // with "\n" line ends (see line_ends.h)
  std::string raw_output;  // the bytes as printed
  std::string errors;      // what it printed on standard error, as printed
  int exit_status = -1;    // -1 when the program did not exit normally
  int signal = 0;          // the signal that ended it, or 0
};

// Runs `program` with `args` (argv[1..]) in the folder `cwd`, with standard input
// closed to /dev/null, and waits for it. Standard error is captured apart.
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd);

// Runs a shell command line in `cwd` (for cases that need ulimit, setpriv and the like).
ProgramResult run_shell(const std::string& command, const std::string& cwd);
