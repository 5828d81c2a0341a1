// The tray window and its notification icon on a real desktop with a taskbar under Wine.
#include <windows.h>
// Needs the types of windows.h.
#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32Resources.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "tray/NimbelloTrayForm.h"
#include "tray/win32/MessageLoop.h"
#include "tray/win32/Win32DesktopWindows.h"
#include "tray/win32/Win32NotifyIcon.h"
#include "tray/win32/Win32TrayWindow.h"

namespace {

// The notification area: the right end of the taskbar, as the screen shows it. Wine draws the
// icons into the taskbar window itself, so they can only be seen, not enumerated.
std::vector<uint32_t> NotificationAreaPixels() {
  HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  RECT r{};
  if (taskbar == nullptr || !GetWindowRect(taskbar, &r)) {
    return {};
  }
  const int width = 120;
  const int height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.right - width, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(width * height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

void Pump(int milliseconds) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
  while (static_cast<int32_t>(end - GetTickCount()) > 0) {
    ProcessPendingMessages();
    Sleep(10);
  }
}

struct Applet {
  Win32Registry registry;
  CustomRegistry settings{registry};
  Win32SystemInfo system;
  Win32Launcher launcher;
  Win32Resources resources;
  Win32NotifyIcon notify{GetModuleHandleW(nullptr)};
  Win32TrayWindow window{GetModuleHandleW(nullptr)};
  std::unique_ptr<TNBTrayForm> form =
      std::make_unique<TNBTrayForm>(window, TrayFormPorts{settings, resources, system, launcher},
                                    notify, Win32NotifyIcon::RecordSize(5), u"Nimbellotray");
  Applet() {
    window.SetForm(form.get());
    notify.SetTarget(&form->Icon());
  }
  ~Applet() { Destroy(); }
  void Destroy() {
    window.SetForm(nullptr);
    notify.SetTarget(nullptr);
    form.reset();
  }
};

TEST(TrayWindow, HiddenWindowOfTheRegisteredClass) {
  Applet applet;
  HWND found = FindWindowW(L"TNBTrayForm", nullptr);
  ASSERT_EQ(found, applet.window.Handle());
  EXPECT_FALSE(IsWindowVisible(found));
  RECT client{};
  GetClientRect(found, &client);
  EXPECT_EQ(client.right, 113);
  EXPECT_EQ(client.bottom, 94);
  wchar_t title[16] = {L'x'};
  EXPECT_EQ(GetWindowTextW(found, title, 16), 0);
  Win32DesktopWindows desktop;
  EXPECT_TRUE(FindRunningInstance(desktop, u"TNBTrayForm", false));
  EXPECT_FALSE(IsWindowVisible(found)) << "the single-instance test leaves it hidden";
}

TEST(TrayWindow, RecordSizeIsTheNativeRecordFromVistaOn) {
  EXPECT_EQ(Win32NotifyIcon::RecordSize(5), sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(Win32NotifyIcon::RecordSize(1), offsetof(NOTIFYICONDATAW, guidItem));
#ifndef _WIN64
  EXPECT_EQ(Win32NotifyIcon::RecordSize(5), 956u);
  EXPECT_EQ(Win32NotifyIcon::RecordSize(1), 936u);
#endif
}

// Wine's desktop and its taskbar come up with the first window of the session.
bool WaitForTaskbar() {
  for (int i = 0; i < 100 && FindWindowW(L"Shell_TrayWnd", nullptr) == nullptr; ++i) {
    Pump(50);
  }
  Pump(300);
  return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
}

TEST(TrayWindow, IconAppearsInTheTaskbarAndLeavesWithTheForm) {
  Applet applet;
  ASSERT_TRUE(WaitForTaskbar()) << "needs the desktop's taskbar";
  const std::vector<uint32_t> before = NotificationAreaPixels();
  ASSERT_FALSE(before.empty());
  HICON image = LoadIconW(nullptr, IDI_APPLICATION);
  applet.form->Icon().SetImage(image);
  applet.form->Icon().Show();
  Pump(300);
  EXPECT_NE(NotificationAreaPixels(), before) << "the icon shows";
  applet.form->Icon().Hide();
  Pump(300);
  EXPECT_EQ(NotificationAreaPixels(), before) << "hidden again";
  applet.form->Icon().Show();
  Pump(300);
  EXPECT_NE(NotificationAreaPixels(), before);
  applet.Destroy();
  Pump(300);
  EXPECT_EQ(NotificationAreaPixels(), before) << "destroying the form removes its icon";
}

// The shell drops the icon behind the applet's back: the next change finds it gone, and the next
// tick's Show brings it back.
TEST(TrayWindow, IconLostByTheShellIsAddedAgain) {
  Applet applet;
  EXPECT_TRUE(applet.notify.TaskbarCreatedAllowed()) << "TaskbarCreated passes the filter";
  ASSERT_TRUE(WaitForTaskbar()) << "needs the desktop's taskbar";
  const std::vector<uint32_t> before = NotificationAreaPixels();
  TrayIcon& icon = applet.form->Icon();
  icon.SetImage(LoadIconW(nullptr, IDI_APPLICATION));
  icon.Show();
  ASSERT_TRUE(icon.IsShown());
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = applet.notify.Window();
  data.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(applet.notify.Window()));
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
  Pump(300);
  ASSERT_EQ(NotificationAreaPixels(), before);
  icon.SetImage(LoadIconW(nullptr, IDI_INFORMATION));
  EXPECT_FALSE(icon.IsShown()) << "a refused modify means the icon is gone";
  icon.Show();
  Pump(300);
  EXPECT_TRUE(icon.IsShown());
  EXPECT_NE(NotificationAreaPixels(), before) << "added again";
}

TEST(TrayWindow, HotKeyIsRegisteredAndFreedOnClose) {
  Applet applet;
  applet.form->FormCreate();
  // Taken now: a second registration of Ctrl+Alt+F fails.
  EXPECT_FALSE(RegisterHotKey(nullptr, 7, MOD_ALT | MOD_CONTROL, 'F'));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  SendMessageW(applet.window.Handle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_ALT | MOD_CONTROL, 'F'))
      << "closing the window gives the hot key back";
  UnregisterHotKey(nullptr, 7);
  MSG quit{};
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
      << "closing the main window ends the application";
}

// Wine never broadcasts "TaskbarCreated" and ends no session, so the messages are sent here to
// the real icon window, as the shell and the session would send them.
TEST(TrayWindow, ShellRestartBringsTheIconBackAndTheSessionsEndTakesItAway) {
  Applet applet;
  ASSERT_TRUE(WaitForTaskbar()) << "needs the desktop's taskbar";
  const std::vector<uint32_t> before = NotificationAreaPixels();
  applet.form->Icon().SetImage(LoadIconW(nullptr, IDI_APPLICATION));
  applet.form->Icon().Show();
  Pump(300);
  ASSERT_NE(NotificationAreaPixels(), before) << "the icon shows";
  // A restarted taskbar knows no icons: take it away behind the applet's back.
  const HWND iconWindow = applet.notify.Window();
  NOTIFYICONDATAW lost{};
  lost.cbSize = sizeof(lost);
  lost.hWnd = iconWindow;
  lost.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(iconWindow));
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &lost));
  Pump(300);
  ASSERT_EQ(NotificationAreaPixels(), before) << "the taskbar lost the icon";
  SendMessageW(iconWindow, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  Pump(300);
  EXPECT_NE(NotificationAreaPixels(), before) << "TaskbarCreated adds the shown icon again";
  SendMessageW(iconWindow, WM_ENDSESSION, FALSE, 0);
  Pump(300);
  EXPECT_NE(NotificationAreaPixels(), before) << "a session that goes on keeps the icon";
  SendMessageW(iconWindow, WM_ENDSESSION, TRUE, 0);
  Pump(300);
  EXPECT_EQ(NotificationAreaPixels(), before) << "the session's end removes the icon";
}

TEST(TrayWindow, OnlyDesktopFontChangesRenewTheFont) {
  Applet applet;
  applet.form->FormCreate();
  const HWND tray = applet.window.Handle();
  const auto font = [&] { return SendMessageW(tray, WM_GETFONT, 0, 0); };
  struct Case {
    WPARAM setting;
    bool renewed;
  };
  const Case cases[] = {{SPI_SETDESKWALLPAPER, false},
                        {SPI_SETICONTITLELOGFONT, true},
                        {SPI_SETWORKAREA, false},
                        {SPI_SETNONCLIENTMETRICS, true}};
  for (const Case& c : cases) {
    const LRESULT was = font();
    SendMessageW(tray, WM_SETTINGCHANGE, c.setting, 0);
    // The new font is made while the old one still lives, so a new one has a new handle.
    EXPECT_EQ(font() != was, c.renewed) << "setting " << c.setting;
  }
}

TEST(TrayWindow, FontFollowsTheDesktopAtMostNinePoints) {
  Applet applet;
  applet.form->FormCreate();
  const FormFont& font = applet.form->CurrentFont();
  EXPECT_FALSE(font.name.empty());
  EXPECT_LE(font.size, 9);
  auto hfont = reinterpret_cast<HFONT>(SendMessageW(applet.window.Handle(), WM_GETFONT, 0, 0));
  ASSERT_NE(hfont, nullptr);
  LOGFONTW lf{};
  ASSERT_NE(GetObjectW(hfont, sizeof(lf), &lf), 0);
  EXPECT_EQ(std::wstring(lf.lfFaceName),
            std::wstring(reinterpret_cast<const wchar_t*>(font.name.c_str())));
}

}  // namespace
