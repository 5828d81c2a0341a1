#include "worker/win32/Win32WorkerSession.h"

#include <windows.h>

#include <string>

#include "foundation/base/win32/ModuleFileName.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"

uint32_t Win32WorkerSession::CurrentProcessId() {
  return GetCurrentProcessId();
}

std::optional<uint32_t> SessionForegroundProcessId() {
  const HWND window = GetForegroundWindow();
  DWORD id = 0;
  if (window == nullptr || GetWindowThreadProcessId(window, &id) == 0 || id == 0) {
    return std::nullopt;
  }
  return id;
}

std::optional<uint32_t> ConsoleForegroundProcessId(const std::wstring& worker,
                                                   const std::wstring& desktop) {
  const DWORD session = WTSGetActiveConsoleSessionId();
  if (session == 0xFFFFFFFF) {
    return std::nullopt;  // no one at the console: nothing in front to spare
  }
  // Not a known DLL: bound from the system folder, never from the program's.
  const UniqueModule wtsapi(LoadSystemLibrary(L"wtsapi32.dll"));
  using QueryUserTokenFunction = BOOL(WINAPI*)(ULONG, PHANDLE);
  const auto queryUserToken =
      BindFunction<QueryUserTokenFunction>(wtsapi.get(), "WTSQueryUserToken");
  UniqueKernelHandle userToken;
  if (queryUserToken == nullptr || !queryUserToken(session, userToken.put())) {
    return std::nullopt;
  }
  // It runs with the user's rights only, and all it can tell is one process to leave alone.
  std::wstring command = L"\"" + worker + L"\" " + Wide(ForegroundSwitch);
  std::wstring desktopName = desktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktopName.data();
  PROCESS_INFORMATION child{};
  if (!CreateProcessAsUserW(userToken.get(), worker.c_str(), command.data(), nullptr, nullptr,
                            FALSE, CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                            &startup, &child)) {
    return std::nullopt;
  }
  const UniqueKernelHandle process(child.hProcess);
  const UniqueKernelHandle thread(child.hThread);
  DWORD code = 0;
  if (WaitForSingleObject(process.get(), ConsoleAnswerMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 0);
    return std::nullopt;
  }
  if (!GetExitCodeProcess(process.get(), &code) || code == 0 || code == STILL_ACTIVE) {
    return std::nullopt;
  }
  return code;
}

std::optional<uint32_t> Win32WorkerSession::ForegroundProcessId() {
  if (const auto own = SessionForegroundProcessId()) {
    return own;
  }
  // Session 0 has no window in front; the user's program is in the console session.
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session) || session != 0) {
    return std::nullopt;
  }
  // This very program, from its own folder, which only administrators may change.
  const std::wstring self = Wide(ModuleFileName());
  return self.empty() ? std::nullopt : ConsoleForegroundProcessId(self, InteractiveDesktop);
}

void Win32WorkerSession::EnterBackgroundMode() {
  // Lower processor, I/O and memory priority: trimming others must not slow the user down.
  SetPriorityClass(GetCurrentProcess(), PROCESS_MODE_BACKGROUND_BEGIN);
}
