// Paths for the Windows wide-character file calls, and an open file's identity (Windows only).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// UTF-8 to UTF-16 and back; the program keeps every path as UTF-8.
std::wstring to_wide(const std::string& utf8);
std::string to_utf8(const wchar_t* wide);

// The full form of `path` with "\\?\" in front ("\\?\UNC\" for a share), so
// that it may be longer than MAX_PATH; a device ("\\.\NUL") stays as it is.
// '/' and '\' both separate folders, and "C:name" is taken on drive C's
// current folder, as the system does.
std::wstring long_path(const std::string& path);

// Whether a full path from long_path names a device rather than a file.
bool is_device_path(const std::wstring& path);

// The volume and index that identify an open file (a HANDLE), whatever name
// it was opened by: another case, "/" for "\", a short 8.3 name or a hard
// link. They are what the same-file check compares.
bool identify_file(void* file, std::uint64_t* volume, std::uint64_t* file_id);

}  // namespace platform
