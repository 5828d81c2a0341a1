// Resident cost of a running program, for the benchmark command:
//   ProcessProbe memory EXE        prints "working_set=B private=B handles=N gdi=N user=N" for the
//                                  first running process whose file name is EXE; exit 1 if none
//   ProcessProbe ticks CLASS ID N  sends N WM_TIMER messages with timer ID to the first window of
//                                  CLASS, one after the other (each waits at most 5 s), and prints
//                                  the microseconds per message; exit 1 if there is no such window
//   ProcessProbe wait-window CLASS MS  exit 0 once a top-level window of CLASS exists, 1 after MS
//   ms ProcessProbe close CLASS       sends WM_CLOSE to the first window of CLASS (waits at most 10
//   s)
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>

#include "win32/support/ProcessCounters.h"

namespace {

DWORD FindProcess(const wchar_t* exe) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return 0;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && found == 0;
       more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, exe) == 0) {
      found = entry.th32ProcessID;
    }
  }
  CloseHandle(snapshot);
  return found;
}

int Memory(const wchar_t* exe) {
  const DWORD pid = FindProcess(exe);
  if (pid == 0) {
    std::fprintf(stderr, "no process %ls\n", exe);
    return 1;
  }
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) {
    std::fprintf(stderr, "OpenProcess failed: %lu\n", GetLastError());
    return 1;
  }
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof(counters));
  uint64_t privateBytes = counters.PrivateUsage;
  if (privateBytes == 0) {
    privateBytes = wine_test::CommittedPrivateBytes(process);
  }
  DWORD handles = 0;
  GetProcessHandleCount(process, &handles);
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
  CloseHandle(process);
  std::printf("working_set=%llu private=%llu handles=%lu gdi=%lu user=%lu\n",
              static_cast<unsigned long long>(counters.WorkingSetSize),
              static_cast<unsigned long long>(privateBytes), handles, gdi, user);
  return 0;
}

int Ticks(const wchar_t* windowClass, UINT_PTR id, long count) {
  HWND window = FindWindowW(windowClass, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "no window of class %ls\n", windowClass);
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < count; ++i) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_TIMER, id, 0, SMTO_NORMAL, 5000, &result) == 0) {
      std::fprintf(stderr, "tick %ld not answered: %lu\n", i, GetLastError());
      return 1;
    }
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.2f\n", count > 0 ? us / static_cast<double>(count) : 0.0);
  return 0;
}

int WaitWindow(const wchar_t* windowClass, long milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  while (FindWindowW(windowClass, nullptr) == nullptr) {
    if (GetTickCount64() >= deadline) {
      return 1;
    }
    Sleep(100);
  }
  return 0;
}

int Close(const wchar_t* windowClass) {
  HWND window = FindWindowW(windowClass, nullptr);
  if (window == nullptr) {
    return 1;
  }
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result) != 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"memory") == 0) {
    return Memory(argv[2]);
  }
  if (argc == 5 && std::wcscmp(argv[1], L"ticks") == 0) {
    return Ticks(argv[2], static_cast<UINT_PTR>(std::wcstoul(argv[3], nullptr, 10)),
                 std::wcstol(argv[4], nullptr, 10));
  }
  if (argc == 4 && std::wcscmp(argv[1], L"wait-window") == 0) {
    return WaitWindow(argv[2], std::wcstol(argv[3], nullptr, 10));
  }
  if (argc == 3 && std::wcscmp(argv[1], L"close") == 0) {
    return Close(argv[2]);
  }
  std::fprintf(stderr,
               "usage: ProcessProbe memory EXE | ticks CLASS ID N | wait-window CLASS MS"
               " | close CLASS\n");
  return 2;
}
