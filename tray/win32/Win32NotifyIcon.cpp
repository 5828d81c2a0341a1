#include "tray/win32/Win32NotifyIcon.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>

#include "foundation/base/Guard.h"
#include "foundation/base/win32/LastError.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/WindowProcedure.h"

namespace {

constexpr wchar_t IconWindowClass[] = L"TNBTrayIconWindow";

template <size_t N>
void CopyField(wchar_t (&field)[N], const std::u16string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::copy_n(reinterpret_cast<const wchar_t*>(text.data()), n, field);
  field[n] = L'\0';
}

// An elevated applet gets no messages from the shell's lower integrity level unless it lets them
// through. The per-window filter exists from Windows 7 on and is bound at run time; without it
// (older Windows, no filter at all) there is nothing to let through.
bool AllowMessageFromShell(HWND window, UINT message) {
  using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
  const auto change = BindFunction<ChangeWindowMessageFilterExFn>(GetModuleHandleW(L"user32.dll"),
                                                                  "ChangeWindowMessageFilterEx");
  if (change == nullptr) {
    return false;
  }
  return change(window, message, MSGFLT_ALLOW, nullptr) != FALSE;
}

}  // namespace

Win32NotifyIcon::Win32NotifyIcon(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &ObjectWindowProc<Win32NotifyIcon>;
  wc.hInstance = instance;
  wc.lpszClassName = IconWindowClass;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ThrowLastError("RegisterClassExW");
  }
  // The shell announces a restarted taskbar to every top-level window with this message.
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  // A top-level window, never shown: a message-only window would miss the shell's broadcasts and
  // the end of the session.
  window_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, IconWindowClass, L"", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, instance, this));
  if (!window_) {
    ThrowLastError("CreateWindowExW");
  }
  if (taskbar_created_ != 0) {
    taskbar_created_allowed_ = AllowMessageFromShell(window_.get(), taskbar_created_);
  }
}

uint32_t Win32NotifyIcon::RecordSize(int32_t windowsVersionCode) {
  return NotifyIconRecordSize(windowsVersionCode, sizeof(NOTIFYICONDATAW),
                              offsetof(NOTIFYICONDATAW, guidItem));
}

bool Win32NotifyIcon::ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) {
  NOTIFYICONDATAW data{};
  data.cbSize = std::min<DWORD>(record.size, sizeof(data));
  data.hWnd = window_.get();
  // The window's handle doubles as the icon's identifier.
  data.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(window_.get()));
  data.uFlags = record.flags;
  data.uCallbackMessage = record.callbackMessage;
  data.hIcon = static_cast<HICON>(record.icon);
  CopyField(data.szTip, record.tip);
  CopyField(data.szInfo, record.balloonText);
  CopyField(data.szInfoTitle, record.balloonTitle);
  data.uTimeout = record.balloonTimeout;
  data.dwInfoFlags = record.balloonKind;
  DWORD what = NIM_ADD;
  switch (message) {
    case NotifyMessage::Add:
      what = NIM_ADD;
      break;
    case NotifyMessage::Modify:
      what = NIM_MODIFY;
      break;
    case NotifyMessage::Delete:
      what = NIM_DELETE;
      break;
  }
  return Shell_NotifyIconW(what, &data) != FALSE;
}

IconHandle Win32NotifyIcon::CopyIcon(IconHandle icon) {
  HICON copy = ::CopyIcon(static_cast<HICON>(icon));
  if (copy == nullptr) {
    ThrowLastError("CopyIcon");
  }
  return copy;
}

void Win32NotifyIcon::DestroyIcon(IconHandle icon) {
  ::DestroyIcon(static_cast<HICON>(icon));
}

LRESULT Win32NotifyIcon::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  TrayIcon& icon = *target_;
  if (message == icon.Record().callbackMessage) {
    guarded([&] { icon.OnNotify(LOWORD(lParam)); });
    return 0;
  }
  if (taskbar_created_ != 0 && message == taskbar_created_) {
    guarded([&] { icon.OnTaskbarCreated(); });
    return 0;
  }
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      guarded([&] { icon.OnEndSession(wParam != FALSE); });
      return 0;
    default:
      return DefWindowProcW(window_.get(), message, wParam, lParam);
  }
}
