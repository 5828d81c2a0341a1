#pragma once
// The owner of WinHTTP session, connection and request handles.
#include <windows.h>
#include <winhttp.h>

#include "foundation/win32/UniqueHandle.h"

struct WinHttpCloser {
  void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};

using UniqueInternet = UniqueHandle<HINTERNET, WinHttpCloser>;
