// Drives and inspects windows for the tray applet's end-to-end tests:
//   TrayProbe find CLASS             exit 0 when a top-level window of CLASS exists, else 1
//   TrayProbe wait-found CLASS MS    exit 0 once a window of CLASS exists, 1 after MS ms
//   TrayProbe hotkey ID              posts WM_HOTKEY with identifier ID to the tray window
//   TrayProbe menu-key CHAR          gives the open popup menu the character CHAR, as typed
//   TrayProbe tooltip                prints the text of each visible tooltip window
//   TrayProbe balloon                prints the text of each visible balloon tooltip (Wine's
//                                    tooltips do not give their title back: TTM_GETTITLE is
//                                    left unanswered)
//   TrayProbe notify CLASS EVENT     posts the notification icon's callback message (WM_USER + 1)
//                                    with EVENT, as the shell does, to the first window of CLASS
//   TrayProbe exit-command           posts the menu command of Exit (display position 5) to the
//                                    tray window
//   TrayProbe title CLASS            prints the title of the first window of CLASS
//   TrayProbe close CLASS            sends WM_CLOSE to the first window of CLASS (bounded wait)
//   TrayProbe window CLASS [hang]    creates a visible window of CLASS and runs until it is
//                                    closed, appending "closed CLASS" to NIMBELLO_WORKER_LOG
//                                    when WM_CLOSE arrives; "hang" stops answering messages
//                                    once WM_CLOSE arrives
//   TrayProbe working-set CLASS      prints the working set in bytes of the process that owns
//                                    the first window of CLASS
#include <windows.h>
// Needs the types of windows.h.
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "../support/Utf8.h"

namespace {

using wine_test::Utf8;

std::wstring g_class;
bool g_hang = false;

void AppendLog(const std::wstring& line) {
  wchar_t path[MAX_PATH * 4] = {};
  if (GetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", path, MAX_PATH * 4) == 0) {
    return;
  }
  const std::string text = Utf8(line) + "\n";
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      CloseHandle(file);
      return;
    }
    Sleep(10);
  }
}

LRESULT CALLBACK CompanionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    AppendLog(L"closed " + g_class);
    if (g_hang) {
      for (;;) {
        Sleep(1000);  // never answers again; the test ends the process
      }
    }
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int Companion() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = CompanionProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = g_class.c_str();
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, g_class.c_str(), g_class.c_str(), WS_OVERLAPPEDWINDOW, 100, 100,
                                200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) {
    return 2;
  }
  ShowWindow(window, SW_SHOWNOACTIVATE);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    DispatchMessageW(&msg);
  }
  return 0;
}

struct TooltipQuery {
  bool balloonsOnly = false;
  int found = 0;
};

BOOL CALLBACK PrintTooltip(HWND window, LPARAM context) {
  auto& query = *reinterpret_cast<TooltipQuery*>(context);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (IsWindowVisible(window) && std::wstring(name) == L"tooltips_class32" &&
      (!query.balloonsOnly || (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) != 0)) {
    wchar_t text[512] = {};
    DWORD_PTR n = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &n);
    std::printf("%s\n", Utf8(text).c_str());
    ++query.found;
  }
  return TRUE;
}

int WaitFound(const wchar_t* className, int milliseconds) {
  for (int waited = 0;; waited += 50) {
    if (FindWindowW(className, nullptr) != nullptr) {
      return 0;
    }
    if (waited >= milliseconds) {
      return 1;
    }
    Sleep(50);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    return 2;
  }
  const std::wstring command = argv[1];
  const wchar_t* arg = argc > 2 ? argv[2] : L"";
  if (command == L"find") {
    return FindWindowW(arg, nullptr) != nullptr ? 0 : 1;
  }
  if (command == L"wait-found") {
    return WaitFound(arg, argc > 3 ? _wtoi(argv[3]) : 5000);
  }
  if (command == L"hotkey") {
    HWND tray = FindWindowW(L"TNBTrayForm", nullptr);
    return tray != nullptr && PostMessageW(tray, WM_HOTKEY, static_cast<WPARAM>(_wtoi(arg)),
                                           MAKELPARAM(MOD_ALT | MOD_CONTROL, 'F'))
               ? 0
               : 1;
  }
  if (command == L"menu-key") {
    // Typed keys reach Wine's menus only with X focus; the menu loop reads the character
    // message just the same when it is posted to the menu window.
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu != nullptr && arg[0] != 0 && PostMessageW(menu, WM_CHAR, arg[0], 1) ? 0 : 1;
  }
  if (command == L"tooltip" || command == L"balloon") {
    TooltipQuery query{command == L"balloon"};
    EnumWindows(PrintTooltip, reinterpret_cast<LPARAM>(&query));
    return query.found > 0 ? 0 : 1;
  }
  if (command == L"notify") {
    HWND window = FindWindowW(arg, nullptr);
    return window != nullptr && argc > 3 &&
                   PostMessageW(window, WM_USER + 1, 0, static_cast<LPARAM>(_wtoi(argv[3])))
               ? 0
               : 1;
  }
  if (command == L"exit-command") {
    HWND tray = FindWindowW(L"TNBTrayForm", nullptr);
    return tray != nullptr && PostMessageW(tray, WM_COMMAND, MAKEWPARAM(6, 0), 0) ? 0 : 1;
  }
  if (command == L"title") {
    HWND window = FindWindowW(arg, nullptr);
    wchar_t title[256] = {};
    DWORD_PTR n = 0;
    const bool read = window != nullptr &&
                      SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(title),
                                          SMTO_ABORTIFHUNG, 2000, &n) != 0;
    std::printf("%s\n", Utf8(title).c_str());
    return read ? 0 : 1;
  }
  if (command == L"close") {
    HWND window = FindWindowW(arg, nullptr);
    DWORD_PTR result = 0;
    return window != nullptr &&
                   SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0
               ? 0
               : 1;
  }
  if (command == L"working-set") {
    HWND window = FindWindowW(arg, nullptr);
    DWORD pid = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &pid) == 0) {
      return 1;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    const bool ok =
        process != nullptr && K32GetProcessMemoryInfo(process, &counters, sizeof(counters));
    if (process != nullptr) {
      CloseHandle(process);
    }
    if (!ok) {
      return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(counters.WorkingSetSize));
    return 0;
  }
  if (command == L"window") {
    g_class = arg;
    g_hang = argc > 3 && std::wstring(argv[3]) == L"hang";
    return Companion();
  }
  return 2;
}
