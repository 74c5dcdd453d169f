// Runs the commands of a list one after another and prints, a line for each,
// its wall time in seconds and its peak resident size in KiB. A small runner of
// its own, so that what is measured carries neither the driver's start-up nor
// its memory.
//   measure <command list>   (one command a line: the folder to run it in, then
//                             its arguments, split at spaces)
//
// A child's peak resident size as wait4 reports it is never below the peak of
// the process that forked it, so this runner stays small: linked statically,
// it reads one line at a time into a fixed buffer and writes each result
// straight out (to a file, so that no reader wakes while the next one runs).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

double now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

char line[1 << 16];

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* list = std::fopen(argv[1], "r");
  if (list == nullptr) return 2;
  while (std::fgets(line, sizeof line, list) != nullptr) {
    char* words[256];
    int count = 0;
    for (char* word = std::strtok(line, " \n"); word != nullptr && count < 255;
         word = std::strtok(nullptr, " \n")) {
      words[count++] = word;
    }
    if (count < 2 || chdir(words[0]) != 0) return 2;
    words[count] = nullptr;
    char** args = words + 1;

    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || close(null) != 0) _exit(126);
      execvp(args[0], args);
      _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "measure: failed in %s: %s\n", words[0], args[0]);
      return 1;
    }
    std::printf("%.6f %ld\n", now() - start, usage.ru_maxrss);
  }
  return std::fclose(list) == 0 && std::fflush(stdout) == 0 ? 0 : 1;
}
