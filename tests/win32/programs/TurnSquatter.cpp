// Stands in for a standard user who made the release workers' turn objects first: it holds a
// mutex under the turn's name and makes an event under the name of its waiting place, both with
// the default security (no administrator as owner), then sleeps for the seconds given (60 when
// none) and ends. Prints "holding" once both are in place.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(_wtoi(argv[1])) : 60;
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\NimbelloDefrag");
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, L"Global\\NimbelloDefrag.Waiting");
  if (mutex == nullptr || event == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    std::printf("could not make the objects first: %lu\n", GetLastError());
    return 1;
  }
  std::printf("holding\n");
  std::fflush(stdout);
  Sleep(seconds * 1000);
  return 0;
}
