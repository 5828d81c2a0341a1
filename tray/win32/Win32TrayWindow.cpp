#include "tray/win32/Win32TrayWindow.h"

#include <algorithm>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/base/win32/Dpi.h"
#include "foundation/base/win32/LastError.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/base/win32/WindowProcedure.h"
#include "tray/win32/MessageLoop.h"

namespace {

constexpr UINT_PTR MainTimerId = 1;
constexpr UINT MainTimerInterval = 1000;
// Menu command identifiers are the items' display positions plus one (0 means no command).
constexpr UINT FirstMenuCommand = 1;

}  // namespace

Win32TrayWindow::Win32TrayWindow(HINSTANCE instance) {
  const std::wstring className = Wide(Constants::TrayFormClass);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &ObjectWindowProc<Win32TrayWindow>;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = className.c_str();
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ThrowLastError("RegisterClassExW");
  }
  // Dialog border, client area 113 x 94, empty caption. The window is never shown, and as a tool
  // window it could never get a taskbar button either.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW;
  RECT frame{0, 0, 113, 94};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  window_.reset(CreateWindowExW(exStyle, className.c_str(), L"", style, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                nullptr, nullptr, instance, this));
  if (!window_) {
    ThrowLastError("CreateWindowExW");
  }
}

void Win32TrayWindow::StartTimer() {
  if (SetTimer(window_.get(), MainTimerId, MainTimerInterval, nullptr) == 0) {
    ThrowLastError("SetTimer");
  }
}

FormFont Win32TrayWindow::DesktopFont() {
  LOGFONTW font{};
  if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0) &&
      GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(font), &font) == 0) {
    ThrowLastError("GetObjectW(SYSTEM_FONT)");
  }
  desktop_font_ = font;
  // Points from the character height; a positive height is a cell height and gives a negative
  // size, so that the font is rebuilt the same way.
  const int points = -MulDiv(font.lfHeight, 72, static_cast<int>(ScreenDpi()));
  return FormFont{FromWide(font.lfFaceName), points};
}

void Win32TrayWindow::SetWindowFont(const FormFont& font) {
  LOGFONTW wanted = desktop_font_;
  wanted.lfHeight = -MulDiv(font.size, static_cast<int>(ScreenDpi()), 72);
  const size_t n = std::min(font.name.size(), std::size(wanted.lfFaceName) - 1);
  std::copy_n(reinterpret_cast<const wchar_t*>(font.name.data()), n, wanted.lfFaceName);
  wanted.lfFaceName[n] = L'\0';
  UniqueHFont made(CreateFontIndirectW(&wanted));
  if (!made) {
    ThrowLastError("CreateFontIndirectW");
  }
  SendMessageW(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(made.get()), FALSE);
  font_ = std::move(made);  // the window no longer uses the old one
}

void Win32TrayWindow::SetWindowTitle(std::u16string_view title) {
  SetWindowTextW(window_.get(), Wide(title).c_str());
}

bool Win32TrayWindow::RegisterHotKey(int32_t id, uint32_t modifiers, uint32_t virtualKey) {
  // A held key repeats about 30 times a second, and each repeat would be a whole release request:
  // only the press counts. Windows before 7 refuse MOD_NOREPEAT; they get the key as it was.
  if (::RegisterHotKey(window_.get(), id, modifiers | MOD_NOREPEAT, virtualKey)) {
    return true;
  }
  return GetLastError() != ERROR_HOTKEY_ALREADY_REGISTERED &&
         ::RegisterHotKey(window_.get(), id, modifiers, virtualKey) != FALSE;
}

bool Win32TrayWindow::UnregisterHotKey(int32_t id) {
  return ::UnregisterHotKey(window_.get(), id) != FALSE;
}

uint32_t Win32TrayWindow::CurrentProcessId() {
  return GetCurrentProcessId();
}

void Win32TrayWindow::SetPriorityClass(uint32_t processId, std::optional<uint32_t> priorityClass) {
  UniqueKernelHandle process(OpenProcess(PROCESS_SET_INFORMATION, FALSE, processId));
  if (process && priorityClass) {
    ::SetPriorityClass(process.get(), *priorityClass);
  }
}

void Win32TrayWindow::CloseTopLevelWindow(std::u16string_view className) {
  HWND found = FindWindowW(Wide(className).c_str(), nullptr);
  if (found == nullptr) {
    return;
  }
  // A companion that does not answer must not hang the applet: the wait is bounded, and a hung
  // window is given up at once.
  DWORD_PTR result = 0;
  SendMessageTimeoutW(found, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, CloseWaitMilliseconds,
                      &result);
}

void Win32TrayWindow::CloseSelf() {
  SendMessageW(window_.get(), WM_CLOSE, 0, 0);
}

void Win32TrayWindow::OpenPopupMenu() {
  if (form_ == nullptr) {
    return;
  }
  UniqueHMenu menu(CreatePopupMenu());
  if (!menu) {
    ThrowLastError("CreatePopupMenu");
  }
  const auto items = form_->MenuItems();
  for (size_t i = 0; i < items.size(); ++i) {
    const TrayMenuItem& item = *items[i];
    const UINT id = FirstMenuCommand + static_cast<UINT>(i);
    if (item.IsSeparator()) {
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu.get(), MF_STRING, id, Wide(item.Caption()).c_str());
    }
    if (item.IsDefault()) {
      SetMenuDefaultItem(menu.get(), id, FALSE);
    }
  }
  POINT cursor{};
  GetCursorPos(&cursor);
  // Without the foreground the menu would stay open when the user clicks elsewhere.
  SetForegroundWindow(window_.get());
  ProcessPendingMessages();
  TrackPopupMenu(menu.get(), TPM_RIGHTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_.get(),
                 nullptr);
  PostMessageW(window_.get(), WM_NULL, 0, 0);
}

LRESULT Win32TrayWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  TNBTrayForm& form = *form_;
  switch (message) {
    case WM_CLOSE:
      // The main window closes: the application terminates; the window itself is destroyed when
      // the message loop has ended.
      form.FormClose();
      PostQuitMessage(0);
      return 0;
    case WM_HOTKEY:
      form.HotKey();
      return 0;
    case WM_TIMER:
      if (wParam == MainTimerId) {
        form.MainTimerTimer();
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 && lParam == 0 && LOWORD(wParam) >= FirstMenuCommand) {
        form.MenuItemClick(LOWORD(wParam) - FirstMenuCommand);
        return 0;
      }
      break;
    case WM_GETFONT:
      // A plain window keeps no font of its own; the form's is here.
      return reinterpret_cast<LRESULT>(font_.get());
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETICONTITLELOGFONT || wParam == SPI_SETNONCLIENTMETRICS) {
        form.DesktopFontChanged();
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window_.get(), message, wParam, lParam);
}
