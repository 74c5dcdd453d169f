#include "support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

ProgramResult run_argv(const std::vector<std::string>& argv_strings, const std::string& cwd) {
  ProgramResult result;
  int out_pipe[2];
  if (pipe(out_pipe) != 0) return result;

  std::vector<char*> argv;
  for (const std::string& s : argv_strings) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    close(out_pipe[0]);
    close(out_pipe[1]);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  char chunk[65536];
  ssize_t n;
  while ((n = read(out_pipe[0], chunk, sizeof chunk)) > 0) result.output.append(chunk, n);
  close(out_pipe[0]);
  result.raw_output = result.output;

  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) {
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_argv(argv, cwd);
}

ProgramResult run_shell(const std::string& command, const std::string& cwd) {
  return run_argv({"/bin/sh", "-c", command}, cwd);
}
