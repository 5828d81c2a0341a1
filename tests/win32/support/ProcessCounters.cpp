#include "win32/support/ProcessCounters.h"

#include <psapi.h>

namespace wine_test {
namespace {

// Kernel handles are multiples of 4; the scan stops well above what a test program opens.
DWORD CountKernelHandlesByIndex() {
  DWORD n = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    n += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  }
  return n;
}

DWORD CountGdiObjectsByIndex() {
  DWORD n = 0;
  for (ULONG_PTR i = 1; i < 0x10000; ++i) {
    n += GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0 ? 1 : 0;
  }
  return n;
}

// Windows, menus and icons (cursors included); Wine accepts a USER handle without its generation
// bits. GetIconInfo hands out copies of the icon's bitmaps, which are deleted at once. The handle
// table is shared by every process of the session, so windows of other processes (programs this
// process started, the shell's taskbar buttons for them) are left out.
DWORD CountUserObjectsByIndex() {
  DWORD n = 0;
  const DWORD self = GetCurrentProcessId();
  for (ULONG_PTR i = 2; i < 0x10000; i += 2) {
    const auto handle = reinterpret_cast<HANDLE>(i);
    if (IsWindow(static_cast<HWND>(handle))) {
      DWORD owner = 0;
      GetWindowThreadProcessId(static_cast<HWND>(handle), &owner);
      n += owner == self ? 1 : 0;
      continue;
    }
    if (IsMenu(static_cast<HMENU>(handle))) {
      ++n;
      continue;
    }
    ICONINFO info{};
    if (GetIconInfo(static_cast<HICON>(handle), &info)) {
      if (info.hbmColor != nullptr) {
        DeleteObject(info.hbmColor);
      }
      if (info.hbmMask != nullptr) {
        DeleteObject(info.hbmMask);
      }
      ++n;
    }
  }
  return n;
}

}  // namespace

uint64_t CommittedPrivateBytes(HANDLE process) {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION info{};
  const char* address = nullptr;
  while (VirtualQueryEx(process, address, &info, sizeof(info)) == sizeof(info)) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
      total += info.RegionSize;
    }
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= address) {
      break;
    }
    address = next;
  }
  return total;
}

ProcessCounters CountProcessResources() {
  ProcessCounters c;
  const HANDLE self = GetCurrentProcess();
  c.gdiObjects = GetGuiResources(self, GR_GDIOBJECTS);
  c.userObjects = GetGuiResources(self, GR_USEROBJECTS);
  if (!GetProcessHandleCount(self, &c.handles) || c.handles == 0) {
    c.handles = CountKernelHandlesByIndex();
    c.counted = true;
  }
  // Every process with a window owns GDI objects: 0 means the call is not implemented.
  if (c.gdiObjects == 0) {
    c.gdiObjects = CountGdiObjectsByIndex();
    c.userObjects = CountUserObjectsByIndex();
    c.counted = true;
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory)) &&
      memory.PrivateUsage != 0) {
    c.privateBytes = memory.PrivateUsage;
  } else {
    c.privateBytes = CommittedPrivateBytes(self);
  }
  return c;
}

}  // namespace wine_test
