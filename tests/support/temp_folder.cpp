// Temporary folders and whole-file helpers, on std::filesystem so that they
// work alike on every platform.

#include "support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// Past MAX_PATH (260) the Windows file calls need the full path after "\\?\".
fs::path long_form(const fs::path& path) {
#ifdef _WIN32
  if (path.native().size() >= 260 && path.is_absolute() && path.native().rfind(L"\\\\", 0) != 0) {
    return fs::path(L"\\\\?\\" + path.lexically_normal().native());
  }
#endif
  return path;
}

fs::path native(const std::string& utf8) { return long_form(fs::u8path(utf8)); }

// The names in a folder. (MinGW's directory iterator cannot open a folder
// whose path passes MAX_PATH, and then lists the current folder instead.)
std::vector<fs::path> names_in(const fs::path& folder) {
  std::vector<fs::path> names;
#ifdef _WIN32
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(long_form(folder / L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
#else
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename());
  }
#endif
  return names;
}

std::string utf8(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string unique_name(const char* prefix) {
  static std::mt19937_64 random(
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return prefix + std::to_string(random());
}

// Tests make folders unwritable and files read-only on purpose (Windows
// will not delete a read-only file); they are opened up to be removed.
void remove_tree(const fs::path& path) {
  std::error_code error;
  const fs::path long_path = long_form(path);
  const fs::file_status status = fs::symlink_status(long_path, error);
  if (fs::is_regular_file(status) || fs::is_directory(status)) {
    fs::permissions(long_path, fs::perms::owner_all, fs::perm_options::add, error);
  }
  if (fs::is_directory(status)) {
    for (const fs::path& name : names_in(path)) remove_tree(path / name);
  }
  fs::remove(long_path, error);
}

}  // namespace

TempFolder::TempFolder() {
  std::error_code error;
  for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
    const fs::path candidate = fs::temp_directory_path(error) / unique_name("kl-test-");
    if (fs::create_directory(candidate, error)) path = utf8(candidate);
  }
}

TempFolder::~TempFolder() {
  if (!path.empty()) remove_tree(native(path));
}

std::string read_file(const std::string& path, bool* exists) {
  std::ifstream in(native(path), std::ios::binary);
  if (exists) *exists = static_cast<bool>(in);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(native(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(native(path), error));
}

bool make_folder(const std::string& path) {
  std::error_code error;
  fs::create_directories(native(path), error);
  return fs::is_directory(native(path), error);
}

bool make_hard_link(const std::string& existing, const std::string& link) {
  std::error_code error;
  fs::create_hard_link(native(existing), native(link), error);
  return !error;
}

std::vector<std::string> list_folder(const std::string& path) {
  std::vector<std::string> names;
  for (const fs::path& name : names_in(native(path))) names.push_back(utf8(name));
  std::sort(names.begin(), names.end());
  return names;
}

std::FILE* open_scratch_file() {
  std::error_code error;
  const fs::path path = fs::temp_directory_path(error) / unique_name("kl-scratch-");
#ifdef _WIN32
  // "D": deleted when closed.
  return _wfopen(path.c_str(), L"w+bD");
#else
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  fs::remove(path, error);
  return file;
#endif
}

std::string read_scratch_file(std::FILE* file) {
  std::fflush(file);
  const long end = std::ftell(file);
  std::string text(end > 0 ? static_cast<std::size_t>(end) : 0, '\0');
  std::rewind(file);
  text.resize(std::fread(&text[0], 1, text.size(), file));
  std::fseek(file, 0, SEEK_END);
  return text;
}
