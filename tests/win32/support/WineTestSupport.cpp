#include "win32/support/WineTestSupport.h"

#include <cstdio>
#include <fstream>
#include <thread>

namespace wine_test {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring full(path, n);
  return full.substr(0, full.find_last_of(L"\\/") + 1);
}

std::wstring ShippedProgram(const std::wstring& file) {
  wchar_t env[MAX_PATH * 4] = {};
  const DWORD n =
      GetEnvironmentVariableW(L"NIMBELLO_SHIPPED_BIN", env, static_cast<DWORD>(std::size(env)));
  if (n > 0 && n < std::size(env)) {
    std::wstring folder(env, n);
    if (folder.front() == L'/') {
      folder = L"Z:" + folder;
    }
    for (wchar_t& c : folder) {
      c = c == L'/' ? L'\\' : c;
    }
    if (folder.back() != L'\\') {
      folder += L'\\';
    }
    if (GetFileAttributesW((folder + file).c_str()) != INVALID_FILE_ATTRIBUTES) {
      return folder + file;
    }
  }
  return ProgramFolder() + file;
}

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::wstring(temp) + L"nimbello-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    if (CreateDirectoryW(path_.c_str(), nullptr)) {
      return;
    }
  }
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path_ + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW((path_ + data.cFileName).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path_.c_str());
}

int Run(const std::wstring& commandLine, std::chrono::milliseconds limit) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring cmd = commandLine;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return -1;
  }
  CloseHandle(pi.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &code);
  } else {
    TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream in(path.c_str());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> WaitForLines(const std::wstring& path, size_t count,
                                      std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    auto lines = ReadLines(path);
    if (lines.size() >= count || std::chrono::steady_clock::now() >= end) {
      return lines;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool WaitForUptime(std::chrono::milliseconds uptime) {
  const auto target = static_cast<uint64_t>(uptime.count());
  const uint64_t now = GetTickCount64();
  if (now >= target) {
    return true;
  }
  std::printf("waiting %llu s for the uptime to reach %llu s\n",
              static_cast<unsigned long long>((target - now) / 1000 + 1),
              static_cast<unsigned long long>(target / 1000));
  std::fflush(stdout);
  // Bounded by the time still missing plus a little: the tick count cannot stand still.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(target - now) +
                   std::chrono::seconds(5);
  while (GetTickCount64() < target) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return true;
}

}  // namespace wine_test
