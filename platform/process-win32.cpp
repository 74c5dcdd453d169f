// The program's start on Windows.

#include "platform/process.h"

#include <windows.h>
// After <windows.h>, whose types it uses.
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/wide_path.h"

namespace platform {

namespace {

UINT g_console_code_page = 0;

void restore_console_code_page() { SetConsoleOutputCP(g_console_code_page); }

}  // namespace

void prepare_process(int* argc, char*** argv) {
  // The C library's arguments come in the ANSI code page, which cannot hold
  // every file name; the wide command line can.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i) arguments.push_back(to_utf8(wide[i]));
    for (std::string& argument : arguments) pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    LocalFree(wide);
    *argc = count;
    *argv = pointers.data();
  }
  // Paths are printed as UTF-8; a console shows them so while the program runs.
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    g_console_code_page = GetConsoleOutputCP();
    if (g_console_code_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
      std::atexit(restore_console_code_page);
    }
  }
}

}  // namespace platform
