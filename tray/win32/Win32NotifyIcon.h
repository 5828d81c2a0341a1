#pragma once
// The notification icon's side of the shell: a hidden window of its own that owns the icon and
// receives the shell's notifications, and Shell_NotifyIconW with the core's record.
#include <windows.h>

#include "foundation/base/win32/UniqueHandle.h"
#include "tray/TrayIcon.h"

class Win32NotifyIcon final : public ShellNotifyPort {
 public:
  // Creates the hidden window; throws std::system_error when Windows cannot.
  explicit Win32NotifyIcon(HINSTANCE instance);
  Win32NotifyIcon(const Win32NotifyIcon&) = delete;
  Win32NotifyIcon& operator=(const Win32NotifyIcon&) = delete;
  ~Win32NotifyIcon() override = default;

  // The icon that gets the notifications; nullptr stops them.
  void SetTarget(TrayIcon* icon) { target_ = icon; }
  HWND Window() const { return window_.get(); }
  // True when the window lets the shell's "TaskbarCreated" through to an elevated applet.
  bool TaskbarCreatedAllowed() const { return taskbar_created_allowed_; }

  // cbSize for this Windows (its version code): the whole record of this build from Vista on,
  // before that the record without guidItem and hBalloonIcon (956 and 936 bytes in the 32-bit
  // program).
  static uint32_t RecordSize(int32_t windowsVersionCode);

  bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) override;
  IconHandle CopyIcon(IconHandle icon) override;
  void DestroyIcon(IconHandle icon) override;

 private:
  template <class T>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  bool Attached() const { return target_ != nullptr; }
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  UINT taskbar_created_ = 0;
  bool taskbar_created_allowed_ = false;
  TrayIcon* target_ = nullptr;
  UniqueHWnd window_;
};
