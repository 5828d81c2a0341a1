#pragma once
#include "foundation/base/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

// Available physical memory from GetPerformanceInfo, which is read fresh at every call (unlike
// GlobalMemoryStatusEx under Wine, cached for a second). Kernel32 carries it as
// K32GetPerformanceInfo from Windows 7 on, psapi.dll as GetPerformanceInfo before.
class Win32PerformanceMemory : public MemoryReadingPort {
 public:
  Win32PerformanceMemory();
  std::optional<int64_t> AvailableBytes() override;

 private:
  using Function = BOOL(WINAPI*)(void*, DWORD);
  UniqueModule library_;
  Function query_ = nullptr;
};
