// Runs the commands of a list one after another and prints their total wall
// time in seconds and the largest peak resident size among them in KiB. A
// small runner of its own, so that what is measured carries neither the
// driver's start-up nor its memory.
//   measure <folder> <command list>   (one command a line, arguments split at spaces)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3 || chdir(argv[1]) != 0) return 2;
  std::vector<std::vector<std::string>> commands;
  std::ifstream list(argv[2]);
  for (std::string line; std::getline(list, line);) {
    std::istringstream words(line);
    commands.emplace_back();
    for (std::string word; words >> word;) commands.back().push_back(word);
  }
  double seconds = 0;
  long peak_kib = 0;
  for (const auto& command : commands) {
    std::vector<char*> args;
    for (const std::string& word : command) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      if (!freopen("/dev/null", "w", stdout)) _exit(126);
      execvp(args[0], args.data());
      _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "measure: failed: %s\n", command[0].c_str());
      return 1;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (usage.ru_maxrss > peak_kib) peak_kib = usage.ru_maxrss;
  }
  std::printf("%.6f %ld\n", seconds, peak_kib);
  return 0;
}
