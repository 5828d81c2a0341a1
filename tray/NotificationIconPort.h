#pragma once
// The tray window's notification-area icon as the monitor tick uses it.
#include <string_view>

#include "tray/IconHandle.h"

class NotificationIconPort {
 public:
  virtual ~NotificationIconPort() = default;

  virtual bool IsShown() const = 0;
  virtual void Show() = 0;  // NIM_ADD when hidden
  virtual void Hide() = 0;  // NIM_DELETE when shown; throws when the delete fails
  // The icon keeps its own copy of the image; nullptr makes it empty.
  virtual void SetImage(IconHandle icon) = 0;
  virtual void SetBalloonTitle(std::u16string_view title) = 0;  // at most 63 characters used
  virtual void SetBalloonText(std::u16string_view text) = 0;    // at most 255 characters used
  virtual void ShowBalloon() = 0;
};
