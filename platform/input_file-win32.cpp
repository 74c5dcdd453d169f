// The input file on Windows.

#include "platform/input_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/wide_path.h"

namespace platform {

namespace {

HANDLE handle_of(void* input_file) {
  return reinterpret_cast<HANDLE>(static_cast<InputFile*>(input_file)->handle);
}

// One read call takes at most this much.
constexpr DWORD kMostAtOnce = 1u << 30;

bool read_input(void* input_file, std::uint8_t* buffer, std::size_t size, std::size_t* got) {
  *got = 0;
  while (*got < size) {
    DWORD count = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - *got, kMostAtOnce));
    if (!ReadFile(handle_of(input_file), buffer + *got, want, &count, nullptr)) {
      // A pipe whose writer has gone reads as its end.
      return GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF;
    }
    if (count == 0) break;
    *got += count;
  }
  return true;
}

bool read_input_at(void* input_file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                   std::size_t* got) {
  *got = 0;
  while (*got < size) {
    OVERLAPPED at{};
    const std::uint64_t where = offset + *got;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    DWORD count = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - *got, kMostAtOnce));
    if (!ReadFile(handle_of(input_file), buffer + *got, want, &count, &at)) {
      return GetLastError() == ERROR_HANDLE_EOF;
    }
    if (count == 0) break;
    *got += count;
  }
  return true;
}

}  // namespace

bool open_input(const char* path, InputFile* input) {
  // Others may go on reading, writing or renaming it, as with the C
  // library's fopen; a folder cannot be opened this way at all.
  const HANDLE file = CreateFileW(long_path(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  input->handle = reinterpret_cast<std::intptr_t>(file);
  input->size = -1;
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  LARGE_INTEGER size;
  if (disk && GetFileSizeEx(file, &size)) input->size = static_cast<std::int64_t>(size.QuadPart);
  // A device or pipe has no index; it is no file that an output could name.
  if (!disk || !identify_file(file, &input->volume, &input->file_id)) {
    input->volume = input->file_id = ~std::uint64_t{0};
  }
  return true;
}

ByteSource input_source(InputFile* input) {
  return ByteSource{read_input, input->size >= 0 ? read_input_at : nullptr, input->size, input};
}

void close_input(InputFile* input) {
  if (input->handle != -1) CloseHandle(reinterpret_cast<HANDLE>(input->handle));
  input->handle = -1;
}

}  // namespace platform
