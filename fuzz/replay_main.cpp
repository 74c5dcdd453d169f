// Replays saved fuzz inputs without libFuzzer, so that every seed and every
// past finding runs again in the ordinary test suite (and under the sanitizer
// build). Arguments are files or folders of files; a check that fails aborts.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Regular files named by `path`: itself, or what a folder holds (not hidden
// files such as .gitkeep), in name order so that runs repeat exactly.
std::vector<std::string> inputs_at(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {};
  if (!S_ISDIR(st.st_mode)) return {path};
  std::vector<std::string> files;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      const std::string full = path + "/" + name;
      if (name[0] != '.' && stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        files.push_back(full);
      }
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file or folder>...\n", argv[0]);
    return 2;
  }
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::string& file : inputs_at(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
      std::fprintf(stderr, "%s\n", file.c_str());
      // A fresh copy of exactly the input's size, as libFuzzer hands it, so
      // that the sanitizers catch a read one byte past the end.
      std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
      LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  // No input at all means the corpus went missing, not that all is well.
  return replayed > 0 ? 0 : 1;
}
