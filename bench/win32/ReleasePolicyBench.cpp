// Prints the cost of whole service ticks with every real adapter (run under Wine by the benchmark
// command): the real registry, memory figures, processor records, power status and clock, and for
// the release path the real ShellExecuteW of a stand-in worker. The settings live in a key of its
// own, removed at the end; the worker is a copy of StandInWorker.exe in a temporary folder.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/base/Text.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "service/ProgramFolderAccess.h"
#include "service/ReleasePolicy.h"
#include "service/win32/Win32FolderSecurity.h"
#include "bench/win32/Measure.h"
#include "tests/win32/support/RealPorts.h"

namespace {

using wine_test::FolderLauncher;
using wine_test::MovedSettingsRegistry;

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  const std::wstring module(path, n);
  return module.substr(0, module.find_last_of(L"\\/") + 1);
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
  std::wstring folder =
      std::wstring(temp) + L"NimbelloPolicyBench" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

int wmain() {
  const std::wstring folder = TempFolder();
  const std::wstring worker = folder + L"NimbelloDefrag.exe";
  const std::wstring log = folder + L"worker.log";
  SetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", log.c_str());
  const bool haveWorker =
      CopyFileW((ModuleFolder() + L"StandInWorker.exe").c_str(), worker.c_str(), FALSE) != FALSE;

  MovedSettingsRegistry registry(L"NimbelloPolicyBench");
  CustomRegistry settings(registry);
  Win32SystemInfo system;
  FolderLauncher launcher(folder);
  Win32Clock clock;
  Win32ProcessorInfo processors;
  ReleasePolicyState state;
  state.started = true;
  const ReleasePolicyPorts ports{settings, system, launcher, clock, processors};

  std::printf("release policy tick, real adapters\n");

  const auto putDword = [&](std::u16string_view name, uint32_t value) {
    registry.PutDword(name, value);
  };

  // Ample memory: any available memory is above a threshold of 0 %.
  putDword(Constants::Updated, 0);
  putDword(Constants::MemoryMaintain, 0);
  Measure("tick, ample memory (real)", 2000, [&] { MainTimerTimer(state, ports); });
  // The same with a policy key holding two of the values read: one open and a query per value.
  registry.PutPolicyDword(Constants::MemoryFree, 40);
  registry.PutPolicyDword(Constants::ProcessorLimit, 1);
  Measure("tick, ample memory, policy key with 2 values (real)", 2000,
          [&] { MainTimerTimer(state, ports); });

  // Low memory, every rule evaluated (sampler and power status included), the period blocks.
  putDword(Constants::MemoryMaintain, 100);
  putDword(Constants::MemoryFree, 0);
  putDword(Constants::ProcessorTrigger, 100);
  putDword(Constants::BatteryCheck, 1);
  putDword(Constants::ExecutePeriod, 1000000);
  state.lastReleaseTime = static_cast<int32_t>(clock.TickCount64() / 1000);
  Measure("tick, low memory, within the period (real)", 2000,
          [&] { MainTimerTimer(state, ports); });

  // Release: one start of the stand-in worker with "0" per tick.
  if (haveWorker) {
    putDword(Constants::BatteryCheck, 0);
    putDword(Constants::ExecutePeriod, 0);
    Measure("tick, release, 1 worker start (real)", 20, [&] { MainTimerTimer(state, ports); });
    Sleep(2000);  // let the workers finish before their folder goes
  }

  // The service's check before each request: the folder and every folder above it, the worker and
  // the service's own file, each opened as itself, owner and DACL read from the handle.
  if (haveWorker) {
    Win32FolderSecurity folders;
    const std::u16string self = FromWide(ModuleFolder() + L"ReleasePolicyBench.exe");
    std::printf("  (%s: refusal %d)\n", ToUtf8(FromWide(folder)).c_str(),
                static_cast<int>(JudgeProgramFolder(folders, FromWide(folder), self)));
    Measure("program folder check before a request (real)", 500,
            [&] { JudgeProgramFolder(folders, FromWide(folder), self); });
  }

  DeleteFileW(worker.c_str());
  DeleteFileW(log.c_str());
  RemoveDirectoryW(folder.c_str());
  return 0;
}
