#pragma once
#include "foundation/base/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

// The system file cache and the modified page list, for a privileged worker. Each function is
// bound at run time; a missing one makes its step fail. A 32-bit worker under WOW64 reads no
// memory lists: whether WOW64 passes that record on, and at which width, is not documented.
class Win32SystemMemory : public SystemMemoryPort {
 public:
  Win32SystemMemory();
  bool TrimFileCache() override;
  std::optional<int64_t> ModifiedListBytes() override;
  bool FlushModifiedList() override;

 private:
  using SetCacheSize = BOOL(WINAPI*)(SIZE_T, SIZE_T, DWORD);
  using SetFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG);
  UniqueModule kernel32_;
  UniqueModule ntdll_;
  SetCacheSize setCacheSize_ = nullptr;
  SetFunction set_ = nullptr;
  bool trusted_;
};
