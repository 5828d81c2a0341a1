// A borderless window brought to the foreground, for the monitor tick's end-to-end tests:
//   ForegroundWindow CLASS full             covers the primary display exactly
//   ForegroundWindow CLASS LEFT TOP W H     at that place and size
// It runs until it receives WM_CLOSE, and at most two minutes, so a failed test leaves nothing.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr UINT_PTR LifetimeTimer = 1;
constexpr UINT LifetimeMilliseconds = 120000;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == LifetimeTimer) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 6) {
    return 2;
  }
  const std::wstring className = argv[1];
  int left = 0;
  int top = 0;
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  if (argc == 6) {
    left = _wtoi(argv[2]);
    top = _wtoi(argv[3]);
    width = _wtoi(argv[4]);
    height = _wtoi(argv[5]);
  } else if (std::wstring(argv[2]) != L"full") {
    return 2;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = className.c_str();
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  if (RegisterClassW(&wc) == 0) {
    return 1;
  }
  HWND window = CreateWindowExW(0, className.c_str(), className.c_str(), WS_POPUP | WS_VISIBLE,
                                left, top, width, height, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  SetTimer(window, LifetimeTimer, LifetimeMilliseconds, nullptr);
  SetForegroundWindow(window);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
