#pragma once
// A notification icon that records its calls in order and keeps what it was given.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tray/NotificationIconPort.h"

class FakeNotificationIcon : public NotificationIconPort {
 public:
  bool shown = false;
  bool failHide = false;           // Hide throws, as a failed NIM_DELETE does
  std::vector<std::string> calls;  // "Show", "Hide", "SetImage", "Title", "Text", "Balloon"
  std::vector<IconHandle> images;  // every image set, in order
  std::u16string balloonTitle;
  std::u16string balloonText;
  int balloons = 0;
  std::function<void()> onShow;  // runs when Show is called, before the icon counts as shown

  bool IsShown() const override { return shown; }
  void Show() override {
    calls.emplace_back("Show");
    if (onShow) {
      onShow();
    }
    shown = true;
  }
  void Hide() override {
    calls.emplace_back("Hide");
    if (failHide && shown) {
      throw std::runtime_error("Cannot remove shell notification icon");
    }
    shown = false;
  }
  void SetImage(IconHandle icon) override {
    calls.emplace_back("SetImage");
    images.push_back(icon);
  }
  void SetBalloonTitle(std::u16string_view title) override {
    calls.emplace_back("Title");
    balloonTitle = title;
  }
  void SetBalloonText(std::u16string_view text) override {
    calls.emplace_back("Text");
    balloonText = text;
  }
  void ShowBalloon() override {
    calls.emplace_back("Balloon");
    ++balloons;
  }

  int Count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) {
      n += c == call ? 1 : 0;
    }
    return n;
  }
};
