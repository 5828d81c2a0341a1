// Stands in for a companion program (release worker, main program, updater) in tests: appends one
// line with its program name and its command-line arguments to a log, then ends at once.
// The log is the file named by NIMBELLO_WORKER_LOG, else "worker.log" beside the program.
#include <windows.h>

#include <string>

#include "../support/Utf8.h"

namespace {

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  return std::wstring(path, n);
}

std::wstring LogPath(const std::wstring& module) {
  wchar_t env[MAX_PATH * 4] = {};
  const DWORD n =
      GetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", env, static_cast<DWORD>(std::size(env)));
  if (n > 0 && n < std::size(env)) {
    return std::wstring(env, n);
  }
  return module.substr(0, module.find_last_of(L"\\/") + 1) + L"worker.log";
}

// Everything after the program name on the command line, as given.
std::wstring Arguments() {
  const wchar_t* p = GetCommandLineW();
  bool quoted = false;
  while (*p != 0 && (quoted || (*p != L' ' && *p != L'\t'))) {
    if (*p == L'"') {
      quoted = !quoted;
    }
    ++p;
  }
  while (*p == L' ' || *p == L'\t') {
    ++p;
  }
  return p;
}

using wine_test::Utf8;

}  // namespace

int wmain() {
  const std::wstring module = ModulePath();
  const std::wstring name = module.substr(module.find_last_of(L"\\/") + 1);
  const std::string line = Utf8(name + L" " + Arguments()) + "\n";
  // Several workers may run at once: append whole lines, retrying while another holds the file.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(LogPath(module).c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(file);
      return 0;
    }
    Sleep(10);
  }
  return 1;
}
