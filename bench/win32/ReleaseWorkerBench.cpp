// The release worker's cost under Wine: one real NimbelloDefrag.exe asked for 1024 MB while 50 idle
// helper processes of 16 MB each run, for both builds: the x86_64 worker beside this program and,
// when NIMBELLO_X86_WORKER names it, the 32-bit one (a WOW64 process here, as on 64-bit Windows).
// Prints each one's wall time and processor time in the benchmark table's "label  N us/op" form,
// and for a worker that measures its release the processor time of its window (from its first
// record to its end) and its largest private bytes then ("label  N bytes"); never fails on a
// figure. Started with "--idle" it is such a helper.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win32/support/ProcessCounters.h"

namespace {

constexpr int Helpers = 50;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  return std::wstring(path, n);
}

HANDLE Start(const std::wstring& program, const std::wstring& arguments) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" + program + L"\" " + arguments;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

double Microseconds(const FILETIME& t) {
  return static_cast<double>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10.0;
}

// One run of `worker` asked for 1024 MB: 0 when it ended within 30 s.
int Run(const std::wstring& worker, const wchar_t* build) {
  const auto label = [&](const char* what) {
    char text[128] = {};
    std::snprintf(text, sizeof text, "%ls 1024 MB, 50 idle helpers: %s", build, what);
    return std::string(text);
  };
  const auto processorTime = [](HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return Microseconds(kernel) + Microseconds(user);
  };
  // The record's first write ends the trims and opens the window.
  const wchar_t* const record = L"Software\\VELTRA\\Nimbello\\LastRelease";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, record, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) ==
      ERROR_SUCCESS) {
    RegDeleteValueW(key, L"Time");
    RegCloseKey(key);
  }
  const auto recorded = [&] {
    return RegGetValueW(HKEY_LOCAL_MACHINE, record, L"Time", RRF_RT_REG_QWORD | 0x00020000, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
  };
  const auto start = std::chrono::steady_clock::now();
  const HANDLE run = Start(worker, L"1024");
  int result = 1;
  double windowOpened = -1;
  uint64_t privateBytes = 0;
  double probeCost = 0;
  int sinceOpened = 0;
  DWORD waited = WAIT_TIMEOUT;
  // Bounded: the deadline, a window of 60 s and a margin.
  for (int i = 0; run != nullptr && waited == WAIT_TIMEOUT && i < 100 * 80; ++i) {
    waited = WaitForSingleObject(run, 10);
    if (windowOpened < 0 && recorded()) {
      windowOpened = processorTime(run);
    }
    // Once, a second into the window. Wine reports no PrivateUsage: there the committed private
    // pages are summed, which Wine answers inside the worker, so that walk's processor time is
    // left out of the window's.
    if (windowOpened >= 0 && ++sinceOpened == 100) {
      PROCESS_MEMORY_COUNTERS_EX counters{};
      const double before = processorTime(run);
      const bool reported =
          GetProcessMemoryInfo(run, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters) &&
          counters.PrivateUsage != 0;
      privateBytes = reported ? counters.PrivateUsage : wine_test::CommittedPrivateBytes(run);
      probeCost = processorTime(run) - before;
    }
  }
  if (waited == WAIT_OBJECT_0) {
    const double wall =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(run, &created, &exited, &kernel, &user);
    DWORD code = 0;
    GetExitCodeProcess(run, &code);
    std::printf("%ls exit code %lu\n", build, static_cast<unsigned long>(code));
    std::printf("%-56s %10.2f us/op\n", label("wall time").c_str(), wall);
    std::printf("%-56s %10.2f us/op\n", label("processor time").c_str(),
                Microseconds(kernel) + Microseconds(user));
    if (windowOpened >= 0) {
      std::printf("%-56s %10.2f us/op\n", label("processor time measuring").c_str(),
                  Microseconds(kernel) + Microseconds(user) - windowOpened - probeCost);
      std::printf("%-56s %10llu bytes\n", label("private bytes measuring").c_str(),
                  static_cast<unsigned long long>(privateBytes));
    }
    result = 0;
  } else {
    std::printf("worker did not start or end within 80 s\n");
  }
  if (run != nullptr) {
    TerminateProcess(run, 1);
    CloseHandle(run);
  }
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"--idle") == 0) {
    // Touched once, then idle: a working set the worker will rank and trim.
    std::vector<char> memory(16 << 20);
    std::memset(memory.data(), 1, memory.size());
    Sleep(120000);
    return memory[4096] == 1 ? 0 : 1;
  }
  const std::wstring self = ModulePath();
  const std::wstring worker = self.substr(0, self.find_last_of(L"\\/") + 1) + L"NimbelloDefrag.exe";
  std::vector<HANDLE> helpers;
  for (int i = 0; i < Helpers; ++i) {
    if (HANDLE h = Start(self, L"--idle")) {
      helpers.push_back(h);
    }
  }
  Sleep(2000);  // let them touch their memory and go idle

  int result = Run(worker, L"x86_64 worker");
  wchar_t x86[MAX_PATH * 4] = {};
  if (GetEnvironmentVariableW(L"NIMBELLO_X86_WORKER", x86, static_cast<DWORD>(std::size(x86))) >
      0) {
    result |= Run(x86, L"i686 worker (WOW64)");
  }
  for (HANDLE h : helpers) {
    TerminateProcess(h, 0);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
  }
  return result;
}
