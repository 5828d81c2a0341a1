#pragma once
// The owner of WinHTTP session, connection and request handles.
#include <windows.h>

#include "foundation/base/win32/UniqueHandle.h"
#include "tray/win32/WinHttpApi.h"

struct WinHttpCloser {
  void operator()(HINTERNET h) const { WinHttpApi::Get().CloseHandle(h); }
};

using UniqueInternet = UniqueHandle<HINTERNET, WinHttpCloser>;
