// The whole-or-nothing output file on Windows: a temporary beside the target,
// open without delete sharing while it is written (so no other run takes it
// for a leftover), that takes the target's place by a rename through its own
// handle.

#include "platform/output_file.h"

#include <windows.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/plain_open.h"
#include "platform/wide_path.h"

namespace platform {

namespace {

// A temporary's name is the target's prefix and a two-digit slot. Every run
// looks into every slot, so it meets a leftover by name, without reading the
// whole folder, and takes the first slot that is free.
constexpr int kSlots = 8;
// Where no slot is free (many live runs for one target, or names another
// user made in a shared folder), the temporary's name is the prefix, 'x' and
// random letters and digits: no other user can make it first.
constexpr std::size_t kRandomLength = 12;
constexpr int kRandomTries = 64;
constexpr wchar_t kRandomLetters[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kNameMax = 255;  // UTF-16 units in a name
// What a console event removes. Changed only under g_lock, which the event
// handler takes too, so that a temporary is either renamed or removed whole.
CRITICAL_SECTION g_lock;
HANDLE g_temp = INVALID_HANDLE_VALUE;
bool g_committed = false;  // the temporary has the target's name: the run has succeeded

bool mark_for_deletion(HANDLE file) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info) != 0;
}

// Ctrl-C, Ctrl-Break, the console window closing, logoff and shutdown: the
// temporary goes, and the run ends as Ctrl-C ends a program. After the
// commit the target is new and the run has succeeded: the event waits while
// the run goes on to its end, which ends this thread too.
BOOL WINAPI remove_temp_and_exit(DWORD) {
  EnterCriticalSection(&g_lock);
  if (g_committed) {
    LeaveCriticalSection(&g_lock);
    Sleep(INFINITE);
  }
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

// The temporaries of a target begin with this; they must fit in a name.
std::wstring temp_prefix(const std::wstring& name, const char* tag) {
  const std::wstring wide_tag = to_wide(tag);
  std::size_t room = kNameMax - 1 - wide_tag.size() - (1 + kRandomLength);
  if (room < name.size() && IS_HIGH_SURROGATE(name[room - 1])) --room;
  return L"." + name.substr(0, room) + wide_tag;
}

std::wstring slot_name(const std::wstring& prefix, int slot) {
  const wchar_t digits[] = {static_cast<wchar_t>(L'0' + slot / 10),
                            static_cast<wchar_t>(L'0' + slot % 10), L'\0'};
  return prefix + digits;
}

std::wstring random_name(const std::wstring& prefix) {
  static std::random_device source;
  std::wstring name = prefix + L'x';
  for (std::size_t i = 0; i < kRandomLength; ++i) {
    name += kRandomLetters[source() % (sizeof kRandomLetters / sizeof kRandomLetters[0] - 1)];
  }
  return name;
}

bool is_random_name(const std::wstring& name, const std::wstring& prefix) {
  if (name.size() != prefix.size() + 1 + kRandomLength || name.compare(0, prefix.size(), prefix) ||
      name[prefix.size()] != L'x') {
    return false;
  }
  return name.find_first_not_of(kRandomLetters, prefix.size() + 1) == std::wstring::npos;
}

enum class Slot { kFree, kCleared, kTaken };

// Whether two paths of one folder name one file, as Windows compares names.
bool same_name(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Removes the temporary at `path` if a run ended outright (killed from the
// task manager, a power loss) left it behind. A live run holds its temporary
// open without delete sharing, so that one cannot be opened for deletion
// here. Neither the target, whose name a slot's may be, nor an input is ever
// removed.
Slot clear_slot(const std::wstring& path, const std::wstring& target, Inputs inputs) {
  if (same_name(path, target)) return Slot::kTaken;
  const HANDLE file = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Slot::kFree
                                                                          : Slot::kTaken;
  }
  std::uint64_t volume = 0, file_id = 0;
  const bool cleared = GetFileType(file) == FILE_TYPE_DISK &&
                       identify_file(file, &volume, &file_id) &&
                       input_index(volume, file_id, inputs) < 0 && mark_for_deletion(file);
  CloseHandle(file);
  return cleared ? Slot::kCleared : Slot::kTaken;
}

// Leftovers under random names are found only by reading the folder, which
// a run does only when it finds every slot taken.
void clear_random_names(const std::wstring& folder, const std::wstring& prefix,
                        const std::wstring& target, Inputs inputs) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> names;
  do {
    if (is_random_name(found.cFileName, prefix)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::wstring& name : names) clear_slot(folder + L"\\" + name, target, inputs);
}

enum class Made { kMade, kNameTaken, kFailed };

Made make_temp_at(OutputFile* output, const std::wstring& path, Slot slot_was) {
  EnterCriticalSection(&g_lock);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE | WRITE_DAC, FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) g_temp = file;
  LeaveCriticalSection(&g_lock);
  if (file != INVALID_HANDLE_VALUE) {
    output->handle = reinterpret_cast<std::intptr_t>(file);
    output->temp = to_utf8(path.c_str());
    return Made::kMade;
  }
  // A leftover just removed that another program holds open (a virus
  // scanner) goes only when that program lets go of it; another name serves
  // meanwhile.
  const bool removal_pending = error == ERROR_ACCESS_DENIED && slot_was == Slot::kCleared;
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || removal_pending
             ? Made::kNameTaken
             : Made::kFailed;
}

// Makes a new temporary in the first free slot, clearing the leftovers in
// every slot; where none is free, under a random name.
bool make_temp(OutputFile* output, const std::wstring& target, const std::wstring& folder,
               const std::wstring& prefix, Inputs inputs) {
  bool failed = false;
  for (int slot = 0; slot < kSlots; ++slot) {
    const std::wstring path = folder + L"\\" + slot_name(prefix, slot);
    const Slot slot_was = clear_slot(path, target, inputs);
    if (slot_was == Slot::kTaken || !output->temp.empty() || failed) continue;
    failed = make_temp_at(output, path, slot_was) == Made::kFailed;
  }
  if (failed) return false;
  if (!output->temp.empty()) return true;
  clear_random_names(folder, prefix, target, inputs);
  for (int attempt = 0; attempt < kRandomTries; ++attempt) {
    const std::wstring path = folder + L"\\" + random_name(prefix);
    if (same_name(path, target)) continue;
    const Made made = make_temp_at(output, path, Slot::kFree);
    if (made != Made::kNameTaken) return made == Made::kMade;
  }
  return false;
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
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ||
        !wait_while_held(error, attempt)) {
      return false;
    }
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

bool write_binary(void* output_file, const char* data, std::size_t size) {
  return write_all(reinterpret_cast<HANDLE>(static_cast<OutputFile*>(output_file)->handle), data,
                   size);
}

}  // namespace

CreateResult create_output(const std::string& path, const char* tag, Inputs inputs,
                           OutputFile* output) {
  *output = OutputFile();
  install_cleanup_handler();
  EnterCriticalSection(&g_lock);
  g_committed = false;
  LeaveCriticalSection(&g_lock);
  PlainTarget target;
  if (!find_plain_target(path, &target)) return CreateResult::kCannotCreate;
  const std::wstring full = to_wide(target.name);
  const std::size_t name_at = full.rfind(L'\\') + 1;
  CreateResult result = CreateResult::kCreated;
  const int named = target.exists ? input_index(target.volume, target.file_id, inputs) : -1;
  // A name longer than any Windows file system allows fails here, as it does
  // on POSIX systems, rather than at the rename after all the work.
  if (named >= 0) {
    output->named_input = static_cast<std::size_t>(named);
    result = CreateResult::kIsInput;
  } else if (full.size() - name_at > kNameMax || (target.exists && !may_replace(&target)) ||
             !make_temp(output, full, full.substr(0, name_at - 1),
                        temp_prefix(full.substr(name_at), tag), inputs)) {
    result = CreateResult::kCannotCreate;
  } else {
    output->target = target.name;
    keep_what_a_plain_open_keeps(target, output);
  }
  close_plain_target(&target);
  return result;
}

ByteSink output_sink(OutputFile* output) { return ByteSink{write_output, output}; }

ByteSink binary_output_sink(OutputFile* output) { return ByteSink{write_binary, output}; }

bool commit_output(OutputFile* output) {
  if (output->temp.empty()) return false;
  const HANDLE file = reinterpret_cast<HANDLE>(output->handle);
  EnterCriticalSection(&g_lock);
  const bool committed = rename_over(file, to_wide(output->target));
  if (!committed) mark_for_deletion(file);
  CloseHandle(file);
  g_temp = INVALID_HANDLE_VALUE;
  g_committed = committed;
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
