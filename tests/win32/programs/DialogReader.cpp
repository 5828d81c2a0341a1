// Finds a message dialog by its caption for the end-to-end tests, prints the texts of its
// controls and dismisses it with OK, so that no test waits on a dialog.
// Usage: DialogReader CAPTION TIMEOUT_MS. Prints "dialog" and one "text=..." line per non-empty
// control text; exit code 0 when a dialog was found and dismissed, 1 when none came in time.
#include <windows.h>

#include <cstdio>
#include <string>

#include "../support/Utf8.h"

namespace {

using wine_test::Utf8;

void Print(const std::wstring& line) {
  std::string text = Utf8(line);
  // One line per text: line breaks inside a text are shown as "\n".
  std::string escaped;
  for (char c : text) {
    if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  escaped += "\n";
  std::fwrite(escaped.data(), 1, escaped.size(), stdout);
  std::fflush(stdout);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  wchar_t text[4096] = {};
  const int n = GetWindowTextW(child, text, static_cast<int>(std::size(text)));
  if (n > 0) {
    Print(L"text=" + std::wstring(text, static_cast<size_t>(n)));
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    Print(L"usage: DialogReader CAPTION TIMEOUT_MS");
    return 2;
  }
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(_wtoi(argv[2]));
  for (;;) {
    HWND dialog = FindWindowW(L"#32770", argv[1]);
    if (dialog != nullptr) {
      Sleep(200);  // let the dialog finish laying out its controls
      Print(L"dialog");
      EnumChildWindows(dialog, &PrintChild, 0);
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      return 0;
    }
    if (GetTickCount64() >= end) {
      Print(L"no dialog");
      return 1;
    }
    Sleep(50);
  }
}
