// Paths for the Windows wide-character file calls.

#include "platform/wide_path.h"

#include <windows.h>

namespace platform {

std::wstring to_wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], size);
  return wide;
}

std::string to_utf8(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], size, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

std::wstring long_path(const std::string& path) {
  const std::wstring wide = to_wide(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (size == 0) return wide;
    if (size < full.size()) {
      full.resize(size);
      break;
    }
    full.resize(size);
  }
  if (is_device_path(full)) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool is_device_path(const std::wstring& path) { return path.rfind(L"\\\\.\\", 0) == 0; }

bool identify_file(void* file, std::uint64_t* volume, std::uint64_t* file_id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  *volume = info.dwVolumeSerialNumber;
  *file_id = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  return true;
}

}  // namespace platform
