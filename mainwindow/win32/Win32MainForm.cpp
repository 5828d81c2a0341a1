#include "mainwindow/win32/Win32MainForm.h"

#include <commdlg.h>

#include <vector>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/base/win32/Dpi.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"
#include "mainwindow/MainFormIds.h"
#include "mainwindow/win32/Win32Status.h"

namespace {

constexpr UINT_PTR MainTimer = 1;
constexpr UINT MainTimerInterval = 1000;

std::u16string WindowText(HWND item) {
  const int length = GetWindowTextLengthW(item);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), length + 1)));
  return FromWide(text);
}

// Paints the picture stretched to the rectangle, pixel for pixel scaled without smoothing.
void PaintPicture(HDC dc, const RECT& target, const IconPicture& picture) {
  // A top-down 32-bit DIB holds blue in its lowest byte; the picture holds red there.
  std::vector<uint32_t> pixels;
  pixels.reserve(picture.Pixels().size());
  for (const uint32_t c : picture.Pixels()) {
    pixels.push_back((static_cast<uint32_t>(RedOf(c)) << 16) |
                     (static_cast<uint32_t>(GreenOf(c)) << 8) | BlueOf(c));
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.Width();
  info.bmiHeader.biHeight = -picture.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
                0, 0, picture.Width(), picture.Height(), pixels.data(), &info, DIB_RGB_COLORS,
                SRCCOPY);
}

}  // namespace

Win32MainForm::Win32MainForm(HINSTANCE instance, const MainFormPorts& ports)
    : instance_(instance), form_(*this, ports) {}

Win32MainForm::~Win32MainForm() {
  if (window_ != nullptr && IsWindow(window_)) {
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    DestroyWindow(window_);
  }
}

HWND Win32MainForm::Create() {
  // The template names this class; the dialog manager needs its extra window bytes.
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefDlgProcW;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconW(instance_, L"MAINICON");
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  const std::wstring className = Wide(Constants::MainFormClass);
  wc.lpszClassName = className.c_str();
  RegisterClassExW(&wc);
  window_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAINFORM), nullptr, DialogProc,
                               reinterpret_cast<LPARAM>(this));
  if (window_ != nullptr) {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
  }
  return window_;
}

INT_PTR CALLBACK Win32MainForm::DialogProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<Win32MainForm*>(lParam)->window_ = window;
  }
  auto* form = reinterpret_cast<Win32MainForm*>(GetWindowLongPtrW(window, DWLP_USER));
  if (form == nullptr) {
    return FALSE;
  }
  // A failing handler ends quietly; the window goes on with its next message.
  return guarded_or<INT_PTR>(FALSE, [&] { return form->Dispatch(message, wParam, lParam); });
}

INT_PTR Win32MainForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      form_.FormCreate();
      SetTimer(window_, MainTimer, MainTimerInterval, nullptr);
      return TRUE;
    case WM_TIMER:
      if (wParam == MainTimer) {
        form_.MainTimerTimer();
      }
      return TRUE;
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
    case WM_DPICHANGED:
      // High contrast, colour and DPI changes: system colours and sizes are read at every paint.
      // The dialog manager itself rescales the template on a DPI change.
      InvalidateRect(window_, nullptr, TRUE);
      return FALSE;
    case WM_CLOSE:
      // Closing, also from the applet's Exit, discards what was not applied.
      DestroyWindow(window_);
      return TRUE;
    case WM_DESTROY:
      KillTimer(window_, MainTimer);
      PostQuitMessage(0);
      return TRUE;
    case WM_COMMAND: {
      const int code = HIWORD(wParam);
      form_.Command(LOWORD(wParam),
                    code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void Win32MainForm::SetTitle(std::u16string_view text) {
  SetWindowTextW(window_, Wide(text).c_str());
}

void Win32MainForm::SetText(int control, std::u16string_view text) {
  SetDlgItemTextW(window_, control, Wide(text).c_str());
}

std::u16string Win32MainForm::Text(int control) {
  return WindowText(GetDlgItem(window_, control));
}

void Win32MainForm::SetChecked(int control, bool checked) {
  CheckDlgButton(window_, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32MainForm::Checked(int control) {
  return IsDlgButtonChecked(window_, control) == BST_CHECKED;
}

void Win32MainForm::SetEnabled(int control, bool enabled) {
  EnableWindow(GetDlgItem(window_, control), enabled ? TRUE : FALSE);
}

void Win32MainForm::SetChoices(int control, std::span<const std::u16string> items) {
  HWND combo = GetDlgItem(window_, control);
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& item : items) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void Win32MainForm::Select(int control, std::optional<size_t> position) {
  SendDlgItemMessageW(window_, control, CB_SETCURSEL,
                      position ? static_cast<WPARAM>(*position) : static_cast<WPARAM>(CB_ERR), 0);
}

std::optional<size_t> Win32MainForm::Selection(int control) {
  const LRESULT index = SendDlgItemMessageW(window_, control, CB_GETCURSEL, 0, 0);
  return index >= 0 ? std::optional(static_cast<size_t>(index)) : std::nullopt;
}

void Win32MainForm::Repaint(int control) {
  InvalidateRect(GetDlgItem(window_, control), nullptr, FALSE);
}

void Win32MainForm::FocusAndSelect(int control) {
  HWND item = GetDlgItem(window_, control);
  SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
  SendMessageW(item, EM_SETSEL, 0, -1);
}

void Win32MainForm::ShowMessage(std::u16string_view text, MessageKind kind) {
  MessageBoxW(window_, Wide(text).c_str(), Wide(WindowText(window_)).c_str(),
              MB_OK | (kind == MessageKind::Warning ? MB_ICONWARNING : MB_ICONERROR));
}

std::optional<uint32_t> Win32MainForm::PickColor(uint32_t initial) {
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = window_;
  choose.rgbResult = initial;
  choose.lpCustColors = customColors_;
  choose.Flags = CC_RGBINIT | CC_FULLOPEN;
  return ChooseColorW(&choose) ? std::optional<uint32_t>(choose.rgbResult) : std::nullopt;
}

void Win32MainForm::Close() {
  DestroyWindow(window_);
}

ServiceState Win32MainForm::QueryServiceState() {
  return ::QueryServiceState();
}

bool Win32MainForm::IsAppletRunning() {
  return ::IsAppletRunning();
}

uint64_t Win32MainForm::CurrentFileTime() {
  return ::CurrentFileTime();
}

std::u16string Win32MainForm::LocalDateTimeText(uint64_t fileTime) {
  return ::LocalDateTimeText(fileTime);
}

bool Win32MainForm::IsWindows64Bit() {
  return ::IsWindows64Bit();
}

std::vector<std::byte> Win32MainForm::ReadFileHead(std::u16string_view path, size_t bytes) {
  return ::ReadFileHead(path, bytes);
}

void Win32MainForm::DrawItem(const DRAWITEMSTRUCT& item) {
  const int control = static_cast<int>(item.CtlID);
  if (form_.IsColorButton(control)) {
    DrawColorButton(item);
  } else if (const IconPicture* picture = form_.Picture(control)) {
    PaintPicture(item.hDC, item.rcItem, *picture);
  } else {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  }
}

void Win32MainForm::DrawColorButton(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  // A swatch as high as the text, framed in the text colour so it shows in high contrast too.
  const int side = (r.bottom - r.top) / 2;
  RECT swatch{r.left + side / 2, r.top + side / 2, r.left + side / 2 + side, r.bottom - side / 2};
  if (const std::optional<uint32_t> color = form_.SwatchColor(static_cast<int>(item.CtlID))) {
    const UniqueHBrush brush(CreateSolidBrush(*color));
    if (brush) {
      FillRect(item.hDC, &swatch, brush.get());
    }
  }
  FrameRect(item.hDC, &swatch, GetSysColorBrush(COLOR_BTNTEXT));
  RECT text = r;
  text.left = swatch.right + side / 2;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  const SelectedObject selectedFont(item.hDC, font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC,
               GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  const std::wstring caption = Wide(WindowText(item.hwndItem));
  DrawTextW(
      item.hDC, caption.c_str(), -1, &text,
      DT_SINGLELINE | DT_VCENTER | DT_LEFT | ((item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0));
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    const int inset = MulDiv(3, static_cast<int>(WindowDpi(window_)), USER_DEFAULT_SCREEN_DPI);
    InflateRect(&focus, -inset, -inset);
    DrawFocusRect(item.hDC, &focus);
  }
}
