#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

ProgramResult run_argv(const std::vector<std::string>& argv_strings, const std::string& cwd) {
  ProgramResult result;
  int out_pipe[2], error_pipe[2];
  if (pipe(out_pipe) != 0) return result;
  if (pipe(error_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }

  std::vector<char*> argv;
  for (const std::string& s : argv_strings) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(error_pipe[1], 2);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(error_pipe[0]);
    close(error_pipe[1]);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(error_pipe[1]);
  // Both streams at once, so that neither pipe fills while the other is read.
  pollfd streams[2] = {{out_pipe[0], POLLIN, 0}, {error_pipe[0], POLLIN, 0}};
  std::string* texts[2] = {&result.output, &result.errors};
  for (int open_streams = 2; open_streams > 0;) {
    if (poll(streams, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      char chunk[65536];
      const ssize_t n = read(streams[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        texts[i]->append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        streams[i].fd = -1;
        --open_streams;
      }
    }
  }
  close(out_pipe[0]);
  close(error_pipe[0]);
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
