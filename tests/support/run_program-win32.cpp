// Running the built programs in a folder on Windows, with their standard
// output captured through a pipe.

#include "support/run_program.h"

#include <windows.h>

#include <thread>

#include "support/line_ends.h"

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], size);
  return text;
}

// Quotes one argument so that the C runtime and CommandLineToArgvW both read
// it back unchanged.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring text = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    text += c;
  }
  text.append(2 * backslashes, L'\\');
  return text + L"\"";
}

std::wstring full_path(const std::wstring& path) {
  wchar_t buffer[32768];
  const DWORD size = GetFullPathNameW(path.c_str(), 32768, buffer, nullptr);
  return size == 0 || size >= 32768 ? path : std::wstring(buffer, size);
}

}  // namespace

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd) {
  ProgramResult result;
  // The program's path is taken from this process's folder, not from `cwd`.
  const std::wstring application = full_path(wide(program));
  std::wstring command = quoted(application);
  for (const std::string& arg : args) command += L" " + quoted(wide(arg));

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, error_read = nullptr, error_write = nullptr;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) return result;
  if (!CreatePipe(&error_read, &error_write, &inherit, 0)) {
    CloseHandle(out_read);
    CloseHandle(out_write);
    return result;
  }
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(error_read, HANDLE_FLAG_INHERIT, 0);
  const HANDLE null_in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_in;
  startup.hStdOutput = out_write;
  startup.hStdError = error_write;
  PROCESS_INFORMATION process{};
  const std::wstring folder = wide(cwd);
  const bool started = CreateProcessW(application.c_str(), &command[0], nullptr, nullptr, TRUE, 0,
                                      nullptr, folder.c_str(), &startup, &process) != 0;
  CloseHandle(out_write);
  CloseHandle(error_write);
  CloseHandle(null_in);
  if (started) {
    // The error stream is drained beside the output, so that neither pipe fills.
    std::thread errors([&result, error_read] {
      char chunk[4096];
      DWORD count = 0;
      while (ReadFile(error_read, chunk, sizeof chunk, &count, nullptr) && count > 0) {
        result.errors.append(chunk, count);
      }
    });
    char chunk[65536];
    DWORD count = 0;
    while (ReadFile(out_read, chunk, sizeof chunk, &count, nullptr) && count > 0) {
      result.raw_output.append(chunk, count);
    }
    errors.join();
    result.output = with_lf_line_ends(result.raw_output, "the console output of " + program);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) {
      result.exit_status = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out_read);
  CloseHandle(error_read);
  return result;
}

ProgramResult run_shell(const std::string&, const std::string&) {
  ProgramResult result;
  result.output = "no POSIX shell on Windows";
  return result;
}
