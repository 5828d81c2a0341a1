#include "tray/win32/WinHttpApi.h"

#include "foundation/base/win32/SystemLibrary.h"

namespace {

template <typename F>
void Bind(HMODULE library, F& function, const char* name) {
  function = BindFunction<F>(library, name);
}

WinHttpApi BindAll() {
  WinHttpApi api;
  const HMODULE library = LoadSystemLibrary(L"winhttp.dll");
  Bind(library, api.Open, "WinHttpOpen");
  Bind(library, api.Connect, "WinHttpConnect");
  Bind(library, api.OpenRequest, "WinHttpOpenRequest");
  Bind(library, api.SetTimeouts, "WinHttpSetTimeouts");
  Bind(library, api.SetOption, "WinHttpSetOption");
  Bind(library, api.SendRequest, "WinHttpSendRequest");
  Bind(library, api.ReceiveResponse, "WinHttpReceiveResponse");
  Bind(library, api.QueryHeaders, "WinHttpQueryHeaders");
  Bind(library, api.QueryDataAvailable, "WinHttpQueryDataAvailable");
  Bind(library, api.ReadData, "WinHttpReadData");
  Bind(library, api.CloseHandle, "WinHttpCloseHandle");
  return api;
}

}  // namespace

bool WinHttpApi::Complete() const {
  return Open && Connect && OpenRequest && SetTimeouts && SetOption && SendRequest &&
         ReceiveResponse && QueryHeaders && QueryDataAvailable && ReadData && CloseHandle;
}

const WinHttpApi& WinHttpApi::Get() {
  static const WinHttpApi api = BindAll();
  return api;
}
