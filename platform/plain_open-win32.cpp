// What CreateFile for writing would do with a target on Windows: links, short names, devices and
// streams, and the access list it keeps.

#include "platform/plain_open.h"

#include <windows.h>
// After <windows.h>, whose types it uses.
#include <aclapi.h>

#include <vector>

#include "platform/wide_path.h"

namespace platform {

namespace {

// Virus scanners and indexers hold a new file for a moment: a target held
// open without sharing is tried again for about 300 ms in all.
constexpr DWORD kRetryMilliseconds[] = {5, 10, 20, 40, 80, 150};

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

// The path with every short 8.3 name in it spelled in full; as it is where
// that cannot be found out.
std::wstring long_name(const std::wstring& path) {
  std::wstring full(path.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = GetLongPathNameW(path.c_str(), &full[0], static_cast<DWORD>(full.size()));
    if (size == 0) return path;
    if (size < full.size()) {
      full.resize(size);
      return full;
    }
    full.resize(size);
  }
}

// Opens the existing target as a plain open would reach it, waiting a moment
// for another program that holds it without sharing.
HANDLE open_existing(const std::wstring& target, DWORD attributes) {
  for (int attempt = 0;; ++attempt) {
    const HANDLE file =
        CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        !wait_while_held(GetLastError(), attempt)) {
      return file;
    }
  }
}

// Reads what the file at `path` hands on to the file that replaces it: its
// owner, group and access list, as a plain open for writing would keep them.
// What may not be read is not handed on.
void read_security(const std::wstring& path, PlainTarget* target) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(
          path.c_str(), SE_FILE_OBJECT,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          nullptr, nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS) {
    target->security = descriptor;
  }
}

}  // namespace

bool wait_while_held(unsigned long error, int attempt) {
  if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
       error != ERROR_ACCESS_DENIED) ||
      attempt >= static_cast<int>(sizeof kRetryMilliseconds / sizeof kRetryMilliseconds[0])) {
    return false;
  }
  Sleep(kRetryMilliseconds[attempt]);
  return true;
}

bool find_plain_target(const std::string& path, PlainTarget* target) {
  *target = PlainTarget();
  std::wstring full = long_path(path);
  const std::size_t slash = full.rfind(L'\\');
  // A ':' after the drive ("x.png:s") names a stream of a file: the temporary
  // would be a stream of another new file, which no rename moves.
  const std::size_t drive = full.size() > 5 && full[5] == L':' ? 6 : 4;  // after "\\?\C:"
  if (is_device_path(full) || slash == std::wstring::npos || slash + 1 == full.size() ||
      full.find(L':', drive) != std::wstring::npos) {
    return false;
  }
  DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    target->name = to_utf8(full.c_str());
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  const HANDLE file = open_existing(full, attributes);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool disk =
      GetFileType(file) == FILE_TYPE_DISK && identify_file(file, &target->volume, &target->file_id);
  // The name the file has on disk: a link's target, and the long name for a
  // short 8.3 one, which the rename would otherwise take as the new file's
  // only name.
  if (disk) {
    full = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? final_path(file) : long_name(full);
  }
  CloseHandle(file);
  if (!disk || full.empty()) return false;
  target->exists = true;
  target->name = to_utf8(full.c_str());
  target->mode = GetFileAttributesW(full.c_str());
  read_security(full, target);
  return true;
}

bool may_replace(PlainTarget* target) {
  return target->mode != INVALID_FILE_ATTRIBUTES &&
         (target->mode & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

bool folder_takes_renames(const PlainTarget&) { return true; }

// Gives the temporary the target's access list (its inherited entries come
// from the folder both share) and, where this run may, its owner and group.
bool keep_what_a_plain_open_keeps(const PlainTarget& target, OutputFile* output) {
  const PSECURITY_DESCRIPTOR descriptor = target.security;
  if (descriptor == nullptr) return true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr, group = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  GetSecurityDescriptorGroup(descriptor, &group, &defaulted);
  if (present && dacl != nullptr) {
    const SECURITY_INFORMATION protection = (control & SE_DACL_PROTECTED) != 0
                                                ? PROTECTED_DACL_SECURITY_INFORMATION
                                                : UNPROTECTED_DACL_SECURITY_INFORMATION;
    SetSecurityInfo(reinterpret_cast<HANDLE>(output->handle), SE_FILE_OBJECT,
                    DACL_SECURITY_INFORMATION | protection, nullptr, nullptr, dacl, nullptr);
  }
  // Only an administrator may give a file to someone else; anyone else's
  // attempt fails and the file stays theirs, as any file replaced by a
  // rename would.
  std::wstring temp_path = to_wide(output->temp);
  std::vector<wchar_t> path(temp_path.begin(), temp_path.end());
  path.push_back(L'\0');
  SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner, group,
                        nullptr, nullptr);
  return true;
}

void close_plain_target(PlainTarget* target) {
  if (target->security != nullptr) LocalFree(target->security);
  *target = PlainTarget();
}

}  // namespace platform
