#include "tray/TrayIcon.h"

#include <stdexcept>

#include "foundation/base/Guard.h"

uint32_t NotifyIconRecordSize(int32_t windowsVersionCode, uint32_t wholeRecordSize,
                              uint32_t shortRecordSize) {
  constexpr int32_t LastBeforeVista = 2;
  return windowsVersionCode >= 0 && windowsVersionCode <= LastBeforeVista ? shortRecordSize
                                                                          : wholeRecordSize;
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
  if (!shown_) {
    Add();
  }
}

void TrayIcon::Add() {
  // The shell may refuse while it starts up, or time out and add the icon all the same; then the
  // icon is already there and takes a modify.
  shown_ = Notify(NotifyMessage::Add) || Notify(NotifyMessage::Modify);
}

void TrayIcon::Modify(uint32_t extraFlags) {
  NotifyIconRecord record = record_;
  record.flags |= extraFlags;
  // A refused modify means the icon is gone (the shell lost it): the next tick adds it again.
  if (!shell_.ShellNotifyIcon(NotifyMessage::Modify, record)) {
    shown_ = false;
  }
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
  record_.icon = nullptr;
  image_.reset();
}

void TrayIcon::SetImage(IconHandle icon) {
  OwnedIcon<ShellNotifyPort> copy(shell_, icon != nullptr ? shell_.CopyIcon(icon) : nullptr);
  ReleaseImage();
  image_ = std::move(copy);
  record_.icon = image_.get();
  if (shown_) {
    Modify();
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
    Modify();
  }
}

void TrayIcon::SetBalloonTitle(std::u16string_view title) {
  std::u16string cut = CutText(title, MaxBalloonTitleLength);
  if (cut == record_.balloonTitle) {
    return;
  }
  record_.balloonTitle = std::move(cut);
  Modify();
}

void TrayIcon::SetBalloonText(std::u16string_view text) {
  std::u16string cut = CutText(text, MaxBalloonTextLength);
  if (cut == record_.balloonText) {
    return;
  }
  record_.balloonText = std::move(cut);
  Modify();
}

void TrayIcon::ShowBalloon() {
  // The balloon goes with this one modify only: a flag kept in the record would show it again
  // with every later change of the image.
  record_.balloonKind = BalloonInfoKind;
  Modify(NotifyFlag::Info);
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
    case NotifyEvent::BalloonUserClick:
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
    Add();
  }
}

void TrayIcon::OnEndSession(bool ending) {
  if (ending) {
    Hide();
  }
}
