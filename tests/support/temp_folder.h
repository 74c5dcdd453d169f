// Temporary folders and whole-file helpers for the tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all its
// contents when the test ends. Paths are UTF-8.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string path;
};

// Whole-file helpers; a missing file reads as empty and sets *exists.
std::string read_file(const std::string& path, bool* exists = nullptr);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

// A folder and any missing folders above it, as `mkdir -p` makes them.
bool make_folder(const std::string& path);
// A second name for the file at `existing`.
bool make_hard_link(const std::string& existing, const std::string& link);

// Names in a folder other than "." and "..", sorted.
std::vector<std::string> list_folder(const std::string& path);

// A nameless scratch file, open for writing and reading, that goes away when
// it is closed; and what has been written to it so far.
std::FILE* open_scratch_file();
std::string read_scratch_file(std::FILE* file);
