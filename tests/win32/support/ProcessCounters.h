#pragma once
// The resources this process holds, for tests that look for growth: open handles, GDI objects,
// USER objects and committed private memory. Where the system reports a count (Windows) it is
// taken; Wine 8 reports none (GetGuiResources and GetProcessHandleCount give 0, PrivateUsage is 0),
// so there the objects are counted by asking about every handle index.
#include <windows.h>

#include <cstdint>

namespace wine_test {

struct ProcessCounters {
  DWORD handles = 0;
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;
  uint64_t privateBytes = 0;
  bool counted = false;  // true when the object counts come from index scans, not the system
};

ProcessCounters CountProcessResources();

// Committed private memory of a process summed over its address space: what "private bytes"
// counts, and the figure to use where PrivateUsage reads 0 (Wine).
uint64_t CommittedPrivateBytes(HANDLE process);

}  // namespace wine_test
