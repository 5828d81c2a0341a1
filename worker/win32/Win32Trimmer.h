#pragma once
#include "foundation/base/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

// Empties one process's working set with the least rights it takes: PROCESS_SET_QUOTA to trim,
// PROCESS_QUERY_LIMITED_INFORMATION to check its creation time and its working-set limits.
class Win32Trimmer : public TrimmerPort {
 public:
  Win32Trimmer();
  TrimResult TrimWorkingSet(uint32_t id, int64_t creationTime) override;

 private:
  using GetLimits = BOOL(WINAPI*)(HANDLE, PSIZE_T, PSIZE_T, PDWORD);
  using SetLimits = BOOL(WINAPI*)(HANDLE, SIZE_T, SIZE_T, DWORD);
  UniqueModule kernel32_;
  GetLimits get_ = nullptr;
  SetLimits set_ = nullptr;
};
