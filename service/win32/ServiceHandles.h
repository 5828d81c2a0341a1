#pragma once
// Owner types for the handle kinds of the service adapters.
#include <windows.h>

#include "foundation/win32/UniqueHandle.h"

struct ServiceHandleCloser {
  void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
struct EventSourceCloser {
  void operator()(HANDLE h) const { DeregisterEventSource(h); }
};

struct LocalMemoryCloser {
  void operator()(HLOCAL h) const { LocalFree(h); }
};

// Service Control Manager and service handles (CloseServiceHandle).
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, ServiceHandleCloser>;
// Event log sources (DeregisterEventSource).
using UniqueEventSource = UniqueHandle<HANDLE, EventSourceCloser>;
// Memory the system allocated for the caller (LocalFree): messages, security descriptors, SID
// texts.
using UniqueLocalMemory = UniqueHandle<HLOCAL, LocalMemoryCloser>;
