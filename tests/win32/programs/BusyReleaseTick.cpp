// One release tick of the service with every real adapter while every processor is kept busy:
//   BusyReleaseTick FOLDER TRIGGER
// The settings (in a key of this process's own) let everything but the processor rule through,
// with ProcessorTrigger TRIGGER; FOLDER holds the release worker. The sampler takes its first
// sample a second before the tick. Exits with 10 + the version code that Windows reports to this
// program, 1 on wrong arguments.
#include <windows.h>

#include <atomic>
#include <cwchar>
#include <thread>
#include <vector>

#include "foundation/CPU.h"
#include "foundation/WindowsVersion.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "service/ReleasePolicy.h"
#include "tests/win32/support/RealPorts.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    return 1;
  }
  wine_test::MovedSettingsRegistry registry(L"NimbelloBusyTick");
  for (const auto& [name, value] : {std::pair{u"MemoryMaintain", 100},
                                    {u"MemoryFree", 0},
                                    {u"ProcessorLimit", 1},
                                    {u"BatteryCheck", 0},
                                    {u"FullScreenCheck", 0},
                                    {u"ExecutePeriod", 0}}) {
    registry.PutDword(name, static_cast<uint32_t>(value));
  }
  registry.PutDword(u"ProcessorTrigger", static_cast<uint32_t>(_wtoi(argv[2])));
  const CustomRegistry settings(registry);
  Win32SystemInfo system;
  wine_test::FolderLauncher launcher(argv[1]);
  Win32Clock clock;
  Win32ProcessorInfo processors;
  ReleasePolicyState state;
  state.started = true;

  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  for (DWORD i = 0; i < info.dwNumberOfProcessors; ++i) {
    busy.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed)) {
      }
    });
  }
  GetProcessorUsage(state.processorSample, processors, system);
  Sleep(1000);
  MainTimerTimer(state, ReleasePolicyPorts{settings, system, launcher, clock, processors});
  stop = true;
  for (std::thread& thread : busy) {
    thread.join();
  }
  return 10 + GetWindowsVersionCode(system);
}
