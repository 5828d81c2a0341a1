#pragma once
// WinHTTP, bound at run time from the system folder. A library imported by name is looked for in
// the program's folder before the loader runs a line of ours; bound here, it can only be the
// system's.
#include <windows.h>
#include <winhttp.h>

struct WinHttpApi {
  decltype(&::WinHttpOpen) Open = nullptr;
  decltype(&::WinHttpConnect) Connect = nullptr;
  decltype(&::WinHttpOpenRequest) OpenRequest = nullptr;
  decltype(&::WinHttpSetTimeouts) SetTimeouts = nullptr;
  decltype(&::WinHttpSetOption) SetOption = nullptr;
  decltype(&::WinHttpSendRequest) SendRequest = nullptr;
  decltype(&::WinHttpReceiveResponse) ReceiveResponse = nullptr;
  decltype(&::WinHttpQueryHeaders) QueryHeaders = nullptr;
  decltype(&::WinHttpQueryDataAvailable) QueryDataAvailable = nullptr;
  decltype(&::WinHttpReadData) ReadData = nullptr;
  decltype(&::WinHttpCloseHandle) CloseHandle = nullptr;

  // Every function was found.
  bool Complete() const;

  // Bound on first use; the library then stays loaded until the process ends, since handles of
  // an abandoned exchange may still be closed after the caller gave up.
  static const WinHttpApi& Get();
};
