#include "tray/TrayIcon.h"

#include <stdexcept>

#include "foundation/Guard.h"

uint32_t NotifyIconRecordSize(uint32_t windowsMajorVersion, uint32_t wholeRecordSize,
                              uint32_t shortRecordSize) {
  return windowsMajorVersion >= 6 ? wholeRecordSize : shortRecordSize;
}

std::u16string CutText(std::u16string_view text, size_t maxUnits) {
  if (text.size() <= maxUnits) {
    return std::u16string(text);
  }
  size_t n = maxUnits;
  // A high surrogate whose partner is cut off would show as a broken character.
  if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
    --n;
  }
  return std::u16string(text.substr(0, n));
}

TrayIcon::TrayIcon(ShellNotifyPort& shell, uint32_t recordSize, std::u16string_view hint)
    : shell_(shell) {
  record_.size = recordSize;
  SetHint(hint);
}

TrayIcon::~TrayIcon() {
  guarded([&] {
    if (shown_) {
      shown_ = false;
      Notify(NotifyMessage::Delete);
    }
  });
  guarded([&] { ReleaseImage(); });
}

void TrayIcon::Show() {
  if (shown_) {
    return;
  }
  shown_ = true;
  Notify(NotifyMessage::Add);
}

void TrayIcon::Hide() {
  if (!shown_) {
    return;
  }
  shown_ = false;
  if (!Notify(NotifyMessage::Delete)) {
    throw std::runtime_error("Cannot remove shell notification icon");
  }
}

void TrayIcon::ReleaseImage() {
  const IconHandle old = record_.icon;
  record_.icon = nullptr;
  if (old != nullptr) {
    shell_.DestroyIcon(old);
  }
}

void TrayIcon::SetImage(IconHandle icon) {
  const IconHandle copy = icon != nullptr ? shell_.CopyIcon(icon) : nullptr;
  ReleaseImage();
  record_.icon = copy;
  if (shown_) {
    Notify(NotifyMessage::Modify);
  }
}

void TrayIcon::SetHint(std::u16string_view hint) {
  std::u16string tip = CutText(hint, MaxTipLength);
  if (tip == record_.tip && ((record_.flags & NotifyFlag::Tip) != 0) == !tip.empty()) {
    return;
  }
  record_.tip = std::move(tip);
  if (record_.tip.empty()) {
    record_.flags &= ~NotifyFlag::Tip;
  } else {
    record_.flags |= NotifyFlag::Tip;
  }
  if (shown_) {
    Notify(NotifyMessage::Modify);
  }
}

void TrayIcon::SetBalloonTitle(std::u16string_view title) {
  std::u16string cut = CutText(title, MaxBalloonTitleLength);
  if (cut == record_.balloonTitle) {
    return;
  }
  record_.balloonTitle = std::move(cut);
  Notify(NotifyMessage::Modify);
}

void TrayIcon::SetBalloonText(std::u16string_view text) {
  std::u16string cut = CutText(text, MaxBalloonTextLength);
  if (cut == record_.balloonText) {
    return;
  }
  record_.balloonText = std::move(cut);
  Notify(NotifyMessage::Modify);
}

void TrayIcon::ShowBalloon() {
  record_.flags |= NotifyFlag::Info;
  record_.balloonKind = BalloonInfoKind;
  Notify(NotifyMessage::Modify);
}

void TrayIcon::OnNotify(uint32_t event) {
  switch (event) {
    case NotifyEvent::RightButtonUp:
      if (onPopup) {
        onPopup();
      }
      break;
    case NotifyEvent::LeftButtonDoubleClick:
    case NotifyEvent::RightButtonDoubleClick:
    case NotifyEvent::MiddleButtonDoubleClick:
      if (onDoubleClick) {
        onDoubleClick();
      }
      break;
    case NotifyEvent::BalloonHide:
    case NotifyEvent::BalloonTimeout:
      record_.flags &= ~NotifyFlag::Info;
      break;
    case NotifyEvent::BalloonUserClick:
      // The balloon is gone once clicked; a flag left set would bring it back with the next
      // change of the image.
      record_.flags &= ~NotifyFlag::Info;
      if (onBalloonClick) {
        onBalloonClick();
      }
      break;
    default:
      break;
  }
}

void TrayIcon::OnTaskbarCreated() {
  if (shown_) {
    Notify(NotifyMessage::Add);
  }
}

void TrayIcon::OnEndSession(bool ending) {
  if (ending) {
    Hide();
  }
}
