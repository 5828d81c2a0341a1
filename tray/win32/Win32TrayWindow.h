#pragma once
// The real window behind TNBTrayForm: registered as "TNBTrayForm", hidden for its whole life,
// and the receiver of the timer, the hot key, the menu's commands and the desktop's font changes.
#include <windows.h>

#include "foundation/base/win32/UniqueHandle.h"
#include "tray/NimbelloTrayForm.h"

class Win32TrayWindow final : public TrayFormHost {
 public:
  // Registers the class and creates the window, hidden; throws std::system_error when Windows
  // cannot.
  explicit Win32TrayWindow(HINSTANCE instance);
  Win32TrayWindow(const Win32TrayWindow&) = delete;
  Win32TrayWindow& operator=(const Win32TrayWindow&) = delete;
  ~Win32TrayWindow() override = default;

  HWND Handle() const { return window_.get(); }
  // The form whose handlers the window's messages run; nullptr detaches it.
  void SetForm(TNBTrayForm* form) { form_ = form; }
  // MainTimer: WM_TIMER every 1000 ms from now on.
  void StartTimer();

  // How long Exit waits for one companion window to handle WM_CLOSE.
  static constexpr UINT CloseWaitMilliseconds = 5000;

  FormFont DesktopFont() override;
  void SetWindowFont(const FormFont& font) override;
  void SetWindowTitle(std::u16string_view title) override;
  bool RegisterHotKey(int32_t id, uint32_t modifiers, uint32_t virtualKey) override;
  bool UnregisterHotKey(int32_t id) override;
  uint32_t CurrentProcessId() override;
  void SetPriorityClass(uint32_t processId, std::optional<uint32_t> priorityClass) override;
  void CloseTopLevelWindow(std::u16string_view className) override;
  void CloseSelf() override;
  void OpenPopupMenu() override;

 private:
  template <class T>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  bool Attached() const { return form_ != nullptr; }
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  TNBTrayForm* form_ = nullptr;
  LOGFONTW desktop_font_{};  // the last font read from the desktop, the base of the window font
  UniqueHFont font_;
  UniqueHWnd window_;
};
