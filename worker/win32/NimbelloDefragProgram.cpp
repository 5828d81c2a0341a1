// The release worker NimbelloDefrag.exe: started by the tray and the service with the megabytes to
// free, it frees what it can within its deadline and ends. It shows nothing, ever: no window, no
// console, no error box, since it runs in session 0 for the service as well.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "foundation/base/Guard.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/base/win32/Win32DebugOutput.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "worker/ReleaseWorker.h"
#include "worker/win32/Win32PerformanceMemory.h"
#include "worker/win32/Win32Privileges.h"
#include "worker/win32/Win32ProcessSnapshot.h"
#include "worker/win32/Win32ReleaseEvent.h"
#include "worker/win32/Win32ReleaseMeasuring.h"
#include "worker/win32/Win32ReleaseTurn.h"
#include "worker/win32/Win32SystemMemory.h"
#include "worker/win32/Win32Trimmer.h"
#include "worker/win32/Win32WorkerClock.h"
#include "worker/win32/Win32WorkerSession.h"
#include "worker/win32/Win32Wow64.h"

namespace {

// The arguments after the program name, split as the C runtime would split them.
std::vector<std::u16string> Arguments() {
  int count = 0;
  const UniqueLocal<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::u16string> arguments;
  for (int i = 1; argv && i < count; ++i) {
    arguments.push_back(FromWide(argv.get()[i]));
  }
  return arguments;
}

ReleaseExitCode Run() {
  const std::vector<std::u16string> arguments = Arguments();
  Win32ProcessSnapshot processes;
  Win32PerformanceMemory memory;
  Win32SystemInfo system;
  Win32Trimmer trimmer;
  Win32Privileges privileges;
  Win32SystemMemory systemMemory;
  Win32WorkerClock clock;
  Win32ReleaseTurn turn;
  Win32WorkerSession session;
  Win32Registry registry;
  Win32ReleaseMeasuring measuring;
  Win32ReleaseEvent events;
  return RunReleaseWorker(arguments, {processes, memory, system, trimmer, privileges, systemMemory,
                                      clock, turn, session, registry, measuring, events});
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearch();
  const ScopedWin32DebugOutput debugOutput;
  // No "cannot find the disk" or crash box may wait for a user who is not there.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Asked by the service's worker which process the user has in front: it answers and ends.
  if (const std::vector<std::u16string> arguments = Arguments();
      arguments.size() == 1 && arguments[0] == ForegroundSwitch) {
    return static_cast<int>(
        guarded_or(uint32_t{0}, [] { return SessionForegroundProcessId().value_or(0); }));
  }
  // A 32-bit worker on 64-bit Windows sees no process and no memory list it can trust: it would
  // trim nothing and start a cool-down for nothing. It leaves every record as it is.
  if (RunsUnderWow64()) {
    return static_cast<int>(ReleaseExitCode::WrongBitness);
  }
  return static_cast<int>(guarded_or(ReleaseExitCode::Partial, Run));
}
