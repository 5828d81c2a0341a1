#pragma once
// The tray window's real window, replaced by a log of what the window asked of it.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/base/Text.h"
#include "tray/NimbelloTrayForm.h"
#include "tray/RunOnce.h"

class FakeTrayFormHost : public TrayFormHost {
 public:
  std::vector<std::string> log;  // one line per call, in order
  FormFont desktopFont{u"Tahoma", 8};
  bool failDesktopFont = false;
  bool failPriority = false;
  bool hotKeyFree = true;
  uint32_t processId = 4242;
  std::u16string title;
  FormFont windowFont;
  std::optional<uint32_t> priorityClass;
  std::vector<std::u16string> closed;  // classes sent WM_CLOSE
  int selfCloses = 0;
  int popups = 0;

  FormFont DesktopFont() override {
    log.push_back("DesktopFont");
    if (failDesktopFont) {
      throw std::runtime_error("no font");
    }
    return desktopFont;
  }
  void SetWindowFont(const FormFont& font) override {
    log.push_back("SetWindowFont " + ToUtf8(font.name) + " " + std::to_string(font.size));
    windowFont = font;
  }
  void SetWindowTitle(std::u16string_view text) override {
    log.push_back("SetWindowTitle " + ToUtf8(text));
    title = text;
  }
  bool RegisterHotKey(int32_t id, uint32_t modifiers, uint32_t key) override {
    log.push_back("RegisterHotKey " + std::to_string(id) + " " + std::to_string(modifiers) + " " +
                  std::to_string(key));
    return hotKeyFree;
  }
  bool UnregisterHotKey(int32_t id) override {
    log.push_back("UnregisterHotKey " + std::to_string(id));
    return hotKeyFree;
  }
  uint32_t CurrentProcessId() override { return processId; }
  void SetPriorityClass(uint32_t id, std::optional<uint32_t> priority) override {
    log.push_back("SetPriorityClass " + std::to_string(id));
    if (failPriority) {
      throw std::runtime_error("access denied");
    }
    priorityClass = priority;
  }
  void CloseTopLevelWindow(std::u16string_view className) override {
    log.push_back("Close " + ToUtf8(className));
    closed.emplace_back(className);
  }
  void CloseSelf() override {
    log.push_back("CloseSelf");
    ++selfCloses;
  }
  void OpenPopupMenu() override {
    log.push_back("OpenPopupMenu");
    ++popups;
  }
};

// Top-level windows by class; counts what the single-instance test did with them.
class FakeDesktopWindows : public DesktopWindowsPort {
 public:
  std::vector<std::u16string> classes;
  bool failFind = false;
  bool failForeground = false;
  bool failPost = false;
  int finds = 0;
  std::vector<std::string> log;

  std::optional<WindowId> FindTopLevelWindow(std::u16string_view className) override {
    ++finds;
    log.push_back("Find " + ToUtf8(className));
    if (failFind) {
      throw std::runtime_error("FindWindowW failed");
    }
    for (size_t i = 0; i < classes.size(); ++i) {
      if (classes[i] == className) {
        return WindowId{i + 1};
      }
    }
    return std::nullopt;
  }
  void RestoreWindow(WindowId window) override {
    log.push_back("Restore " + std::to_string(window));
  }
  void SetForegroundWindow(WindowId window) override {
    log.push_back("Foreground " + std::to_string(window));
    if (failForeground) {
      throw std::runtime_error("SetForegroundWindow failed");
    }
  }
  bool PostFreeMemory(WindowId window) override {
    log.push_back("Post " + std::to_string(window));
    return !failPost;
  }
};
