// The whole-or-nothing output file on Windows: a temporary beside the target,
// open without delete sharing while it is written (so no other run takes it
// for a leftover), that takes the target's place by a rename through its own
// handle.

#include "platform/output_file.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/wide_path.h"

namespace platform {

namespace {

// A temporary's name is the target's prefix and a two-digit slot: runs for
// one target take the first slot that is free, so the next run meets a
// leftover by name, without reading the whole folder.
constexpr int kSlots = 100;
constexpr std::size_t kSlotLength = 2;
// Leftovers are looked for in these slots whatever is in them, and beyond
// them up to the first free slot.
constexpr int kSlotsAlwaysLooked = 4;
constexpr std::size_t kNameMax = 255;  // UTF-16 units in a name
// Virus scanners and indexers hold a new file for a moment: a target held
// open without sharing is tried again for about 300 ms in all.
constexpr DWORD kRetryMilliseconds[] = {5, 10, 20, 40, 80, 150};

// What a console event removes. Changed only under g_lock, which the event
// handler takes too, so that a temporary is either renamed or removed whole.
CRITICAL_SECTION g_lock;
HANDLE g_temp = INVALID_HANDLE_VALUE;

void mark_for_deletion(HANDLE file) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
}

// Ctrl-C, Ctrl-Break, the console window closing, logoff and shutdown: the
// temporary goes, and the run ends as Ctrl-C ends a program.
BOOL WINAPI remove_temp_and_exit(DWORD) {
  EnterCriticalSection(&g_lock);
  if (g_temp != INVALID_HANDLE_VALUE) {
    mark_for_deletion(g_temp);
    CloseHandle(g_temp);
  }
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

void install_cleanup_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  InitializeCriticalSection(&g_lock);
  SetConsoleCtrlHandler(remove_temp_and_exit, TRUE);
}

bool is_held_elsewhere(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

std::wstring final_path(HANDLE file) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size =
        GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
    if (size == 0) return std::wstring();
    if (size < path.size()) {
      path.resize(size);
      return path;
    }
    path.resize(size);
  }
}

// Follows a symbolic link at `*target` to the file it names, and checks what
// a plain open for writing would: a regular file on a disk, not read-only,
// that no other program holds without sharing. False when it exists but
// cannot be replaced; `*exists` tells whether it exists.
bool check_target(std::wstring* target, bool* exists) {
  DWORD attributes = GetFileAttributesW(target->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *exists = false;
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  *exists = true;
  for (int attempt = 0;; ++attempt) {
    const HANDLE file =
        CreateFileW(target->c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const bool disk = GetFileType(file) == FILE_TYPE_DISK;
      if (disk && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) *target = final_path(file);
      CloseHandle(file);
      if (!disk || target->empty()) return false;
      attributes = GetFileAttributesW(target->c_str());
      return attributes != INVALID_FILE_ATTRIBUTES &&
             (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
    }
    if (attempt == sizeof kRetryMilliseconds / sizeof kRetryMilliseconds[0] ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !is_held_elsewhere(GetLastError())) {
      return false;
    }
    Sleep(kRetryMilliseconds[attempt]);
  }
}

// The temporaries of a target begin with this; they must fit in a name.
std::wstring temp_prefix(const std::wstring& name, const char* tag) {
  const std::wstring wide_tag = to_wide(tag);
  std::size_t room = kNameMax - 1 - wide_tag.size() - kSlotLength;
  if (room < name.size() && IS_HIGH_SURROGATE(name[room - 1])) --room;
  return L"." + name.substr(0, room) + wide_tag;
}

std::wstring slot_name(const std::wstring& prefix, int slot) {
  const wchar_t digits[] = {static_cast<wchar_t>(L'0' + slot / 10),
                            static_cast<wchar_t>(L'0' + slot % 10), L'\0'};
  return prefix + digits;
}

enum class Slot { kFree, kCleared, kTaken };

// Removes the temporary in a slot if a run ended outright (killed from the
// task manager, a power loss) left it behind. A live run holds its temporary
// open without delete sharing, so that one cannot be removed.
Slot clear_slot(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return Slot::kCleared;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Slot::kFree
                                                                        : Slot::kTaken;
}

// The leftovers in the slots after the one a run took.
void clear_slots_after(const std::wstring& folder, const std::wstring& prefix, int taken) {
  for (int slot = taken + 1; slot < kSlots; ++slot) {
    if (clear_slot(folder + L"\\" + slot_name(prefix, slot)) == Slot::kFree &&
        slot >= kSlotsAlwaysLooked) {
      return;
    }
  }
}

// Renames the open temporary over the target, trying again for a moment
// while another program holds the target.
bool rename_over(HANDLE temp, const std::wstring& target) {
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
  for (int attempt = 0;; ++attempt) {
    if (SetFileInformationByHandle(temp, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
      return true;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attempt == sizeof kRetryMilliseconds / sizeof kRetryMilliseconds[0] ||
        !is_held_elsewhere(GetLastError()) ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
      return false;
    }
    Sleep(kRetryMilliseconds[attempt]);
  }
}

// Text mode: every "\n" reaches the file as CR LF, as the C library's text
// streams write it on Windows.
char g_text[128 * 1024];

bool write_all(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool write_output(void* output_file, const char* data, std::size_t size) {
  const HANDLE file = reinterpret_cast<HANDLE>(static_cast<OutputFile*>(output_file)->handle);
  std::size_t used = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof g_text) {
      if (!write_all(file, g_text, used)) return false;
      used = 0;
    }
    if (data[i] == '\n') g_text[used++] = '\r';
    g_text[used++] = data[i];
  }
  return write_all(file, g_text, used);
}

}  // namespace

bool create_output(const std::string& path, const char* tag, OutputFile* output) {
  *output = OutputFile();
  install_cleanup_handler();
  std::wstring target = long_path(path);
  bool exists = false;
  const std::size_t slash = target.rfind(L'\\');
  // A name longer than any Windows file system allows fails here, as it does
  // on POSIX systems, rather than at the rename after all the work.
  if (is_device_path(target) || slash == std::wstring::npos || slash + 1 == target.size() ||
      target.size() - slash - 1 > kNameMax || !check_target(&target, &exists)) {
    return false;
  }
  const std::size_t name_at = target.rfind(L'\\') + 1;
  const std::wstring folder = target.substr(0, name_at - 1);
  const std::wstring prefix = temp_prefix(target.substr(name_at), tag);
  for (int slot = 0; slot < kSlots; ++slot) {
    const std::wstring temp = folder + L"\\" + slot_name(prefix, slot);
    const Slot slot_was = clear_slot(temp);
    if (slot_was == Slot::kTaken) continue;
    EnterCriticalSection(&g_lock);
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) g_temp = file;
    LeaveCriticalSection(&g_lock);
    if (file != INVALID_HANDLE_VALUE) {
      output->handle = reinterpret_cast<std::intptr_t>(file);
      output->target = to_utf8(target.c_str());
      output->temp = to_utf8(temp.c_str());
      clear_slots_after(folder, prefix, slot);
      return true;
    }
    // A leftover just removed that another program holds open (a virus
    // scanner) goes only when that program lets go of it; the next slot
    // serves meanwhile.
    const bool removal_pending = error == ERROR_ACCESS_DENIED && slot_was == Slot::kCleared;
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && !removal_pending) {
      return false;
    }
  }
  return false;
}

ByteSink output_sink(OutputFile* output) { return ByteSink{write_output, output}; }

bool commit_output(OutputFile* output) {
  if (output->temp.empty()) return false;
  const HANDLE file = reinterpret_cast<HANDLE>(output->handle);
  EnterCriticalSection(&g_lock);
  const bool committed = rename_over(file, to_wide(output->target));
  if (!committed) mark_for_deletion(file);
  CloseHandle(file);
  g_temp = INVALID_HANDLE_VALUE;
  LeaveCriticalSection(&g_lock);
  *output = OutputFile();
  return committed;
}

void discard_output(OutputFile* output) {
  if (output->temp.empty()) return;
  EnterCriticalSection(&g_lock);
  const HANDLE file = reinterpret_cast<HANDLE>(output->handle);
  mark_for_deletion(file);
  CloseHandle(file);
  g_temp = INVALID_HANDLE_VALUE;
  LeaveCriticalSection(&g_lock);
  *output = OutputFile();
}

}  // namespace platform
