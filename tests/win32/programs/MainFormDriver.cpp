// Drives the running main window (class TNBMainForm) through its controls, for the end-to-end
// tests; the commands run in order:
//   type ID TEXT     sets the text of control ID, as typed
//   click ID         clicks button or check box ID
//   post ID          posts the command ID (Apply: its message box must not block this program)
//   text ID          prints the text of control ID on a line of its own
//   enabled ID       prints 1 when control ID is enabled, else 0, on a line of its own
// Exit code 0 when every command found its control, 1 otherwise, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <string>

#include "../support/Utf8.h"

namespace {

LRESULT Send(HWND to, UINT message, WPARAM w = 0, LPARAM l = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(to, message, w, l, SMTO_ABORTIFHUNG, 10000, &result);
  return static_cast<LRESULT>(result);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND form = FindWindowW(L"TNBMainForm", nullptr);
  if (form == nullptr) {
    return 1;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring command = argv[i];
    const int id = _wtoi(argv[i + 1]);
    HWND control = GetDlgItem(form, id);
    if (control == nullptr) {
      return 1;
    }
    if (command == L"type" && i + 2 < argc) {
      Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[i + 2]));
      ++i;
    } else if (command == L"click") {
      Send(control, BM_CLICK);
    } else if (command == L"post") {
      PostMessageW(form, WM_COMMAND, static_cast<WPARAM>(id), 0);
    } else if (command == L"text") {
      wchar_t text[512] = {};
      Send(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
      std::printf("%s\n", wine_test::Utf8(text).c_str());
    } else if (command == L"enabled") {
      std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    } else {
      return 2;
    }
  }
  return 0;
}
