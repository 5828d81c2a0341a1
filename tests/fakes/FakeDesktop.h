#pragma once
// A desktop set by the test: the foreground window's rectangle, the screen size and the top-level
// window classes that exist; counts the questions.
#include <optional>
#include <set>
#include <string>

#include "tray/DesktopPort.h"

class FakeDesktop : public DesktopPort {
 public:
  std::optional<WindowRect> foreground;  // nothing: no foreground window
  bool foregroundIsDesktop = false;
  ScreenSize screen{1024, 768};
  std::set<std::u16string> windowClasses;
  int foregroundQueries = 0;
  int screenQueries = 0;
  int findQueries = 0;

  std::optional<FrontWindow> ForegroundWindow() override {
    ++foregroundQueries;
    if (!foreground) {
      return std::nullopt;
    }
    return FrontWindow{*foreground, foregroundIsDesktop};
  }
  ScreenSize PrimaryScreenSize() override {
    ++screenQueries;
    return screen;
  }
  bool TopLevelWindowExists(std::u16string_view className) override {
    ++findQueries;
    return windowClasses.count(std::u16string(className)) != 0;
  }

  void SetTaskbar(bool present) {
    if (present) {
      windowClasses.insert(u"Shell_TrayWnd");
    } else {
      windowClasses.erase(u"Shell_TrayWnd");
    }
  }
};
