// The desktop port through the real user32 under Wine on Xvfb: the primary display's size, the
// foreground window's rectangle and top-level windows found by class, as the monitor tick sees
// them.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "tray/TrayMonitor.h"
#include "tray/win32/Win32Desktop.h"

namespace {

constexpr wchar_t TestClass[] = L"NimbelloDesktopTestWindow";

void RegisterTestClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = TestClass;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    return RegisterClassW(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
}

// A borderless top-level window, destroyed with its owner.
class TestWindow {
 public:
  TestWindow(int left, int top, int width, int height) {
    RegisterTestClass();
    window_ =
        CreateWindowExW(WS_EX_TOPMOST, TestClass, L"desktop test", WS_POPUP | WS_VISIBLE, left, top,
                        width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~TestWindow() {
    if (window_ != nullptr) {
      DestroyWindow(window_);
    }
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND get() const { return window_; }

  // Brings the window to the front and lets the window manager settle; true once it is the
  // foreground window (bounded).
  bool BringToFront() const {
    for (int i = 0; i < 50; ++i) {
      SetForegroundWindow(window_);
      Pump();
      if (GetForegroundWindow() == window_) {
        return true;
      }
      Sleep(20);
    }
    return false;
  }

  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

 private:
  HWND window_ = nullptr;
};

TEST(Win32Desktop, PrimaryScreenIsTheDesktopWindowsSize) {
  Win32Desktop desktop;
  const ScreenSize screen = desktop.PrimaryScreenSize();
  RECT r{};
  ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &r));
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
  EXPECT_EQ(screen.width, r.right - r.left);
  EXPECT_EQ(screen.height, r.bottom - r.top);
}

TEST(Win32Desktop, TopLevelWindowsByClass) {
  Win32Desktop desktop;
  EXPECT_TRUE(desktop.TopLevelWindowExists(u"Shell_TrayWnd")) << "the shell desktop's taskbar";
  EXPECT_FALSE(desktop.TopLevelWindowExists(u"NimbelloNoSuchWindowClass"));
  EXPECT_FALSE(desktop.TopLevelWindowExists(u"NimbelloDesktopTestWindow"));
  {
    const TestWindow window(10, 10, 50, 50);
    ASSERT_NE(window.get(), nullptr);
    EXPECT_TRUE(desktop.TopLevelWindowExists(u"NimbelloDesktopTestWindow"));
  }
  EXPECT_FALSE(desktop.TopLevelWindowExists(u"NimbelloDesktopTestWindow"));
}

TEST(Win32Desktop, ForegroundWindowRectangles) {
  Win32Desktop desktop;
  const ScreenSize screen = desktop.PrimaryScreenSize();
  struct Case {
    const char* what;
    WindowRect rect;
    bool fullScreen;
  };
  const Case cases[] = {
      {"covering the screen", {0, 0, screen.width, screen.height}, true},
      {"overhanging every edge", {-8, -8, screen.width + 8, screen.height + 8}, true},
      {"small", {100, 120, 400, 300}, false},
      {"6 pixels short at the bottom", {0, 0, screen.width, screen.height - 6}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TestWindow window(c.rect.left, c.rect.top, c.rect.right - c.rect.left,
                            c.rect.bottom - c.rect.top);
    ASSERT_NE(window.get(), nullptr);
    ASSERT_TRUE(window.BringToFront());
    const std::optional<FrontWindow> front = desktop.ForegroundWindow();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->rect, c.rect);
    EXPECT_EQ(IsFullScreenRect(front->rect, screen), c.fullScreen);
    EXPECT_FALSE(front->desktop) << "a program's window";
  }
}

// A click on the desktop brings the desktop window forward (Wine's shell has no GetShellWindow()).
// It covers the screen, so only its being the desktop keeps the tick from reporting full screen.
TEST(Win32Desktop, DesktopInFrontIsTheDesktop) {
  {
    const TestWindow window(10, 10, 50, 50);
    ASSERT_TRUE(window.BringToFront());
    EXPECT_FALSE(IsDesktopWindow(window.get()));
  }
  Win32Desktop desktop;
  for (int i = 0; i < 50 && GetForegroundWindow() != GetDesktopWindow(); ++i) {
    SetForegroundWindow(GetDesktopWindow());
    TestWindow::Pump();
    Sleep(20);
  }
  ASSERT_EQ(GetForegroundWindow(), GetDesktopWindow());
  const std::optional<FrontWindow> front = desktop.ForegroundWindow();
  ASSERT_TRUE(front.has_value());
  EXPECT_TRUE(front->desktop);
  EXPECT_TRUE(IsFullScreenRect(front->rect, desktop.PrimaryScreenSize()));
}

}  // namespace
