#include "tray/NimbelloTrayForm.h"

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/Shell.h"
#include "foundation/base/Text.h"
#include "tray/ReleaseBalloon.h"
#include "tray/UpdateCheck.h"

std::optional<uint32_t> PriorityClassForCode(int32_t code) {
  switch (code) {
    case -2:
      return 0x40u;  // IDLE_PRIORITY_CLASS
    case -1:
      return 0x4000u;  // BELOW_NORMAL_PRIORITY_CLASS
    case 0:
      return 0x20u;  // NORMAL_PRIORITY_CLASS
    case 1:
      return 0x8000u;  // ABOVE_NORMAL_PRIORITY_CLASS
    case 2:
      return 0x80u;  // HIGH_PRIORITY_CLASS
    case 3:
      return 0x100u;  // REALTIME_PRIORITY_CLASS
    default:
      return std::nullopt;
  }
}

void SetProcessPriority(ProcessPriorityPort& processes, uint32_t processId, int32_t code) {
  guarded([&] { processes.SetPriorityClass(processId, PriorityClassForCode(code)); });
}

std::u16string ApplicationTitle(std::u16string_view modulePath) {
  const size_t slash = modulePath.find_last_of(u"\\/:");
  std::u16string_view name =
      slash == std::u16string_view::npos ? modulePath : modulePath.substr(slash + 1);
  name = name.substr(0, name.find(u'.'));
  if (name.empty()) {
    return {};
  }
  return std::u16string(name.substr(0, 1)) + LowerAscii(name.substr(1));
}

TNBTrayForm::TNBTrayForm(TrayFormHost& host, const TrayFormPorts& ports, ShellNotifyPort& shell,
                         uint32_t iconRecordSize, std::u16string_view applicationTitle)
    : host_(host),
      ports_(ports),
      tray_icon_(shell, iconRecordSize, applicationTitle),
      captioned_{&tray_icon_,  &main_timer_, &popup_menu_, &exit_popup_,    &n1_,
                 &help_popup_, &open_popup_, &n2_,         &free_mem_popup_},
      // The icon has neither a font nor a parent-font flag.
      fonted_{&main_timer_, &popup_menu_, &exit_popup_, &n1_,
              &help_popup_, &open_popup_, &n2_,         &free_mem_popup_},
      menu_order_{&open_popup_, &n2_, &free_mem_popup_, &help_popup_, &n1_, &exit_popup_} {
  tray_icon_.onPopup = [this] { guarded([&] { host_.OpenPopupMenu(); }); };
  tray_icon_.onDoubleClick = [this] { TrayIconDblClick(); };
  tray_icon_.onBalloonClick = [this] { TrayIconBalloonClick(); };
}

void TNBTrayForm::FormCreate() {
  // One guard: a failing step skips the steps after it.
  guarded([&] {
    font_ = host_.DesktopFont();
    host_.SetWindowFont(font_);
    NormalizeFormFonts(*this);
    host_.SetWindowFont(font_);
    ApplyCaptions(ports_.settings, ports_.resources, *this);
    SetProcessPriority(host_, host_.CurrentProcessId(), TrayPriorityCode);
    // Ctrl+Alt+F may belong to another program: the menu and the icon still work.
    host_.RegisterHotKey(FreeMemHotKeyId, FreeMemHotKeyModifiers, FreeMemHotKeyKey);
  });
}

void TNBTrayForm::DesktopFontChanged() {
  guarded([&] {
    font_ = host_.DesktopFont();
    host_.SetWindowFont(font_);
  });
}

void TNBTrayForm::FormClose() {
  guarded([&] { host_.UnregisterHotKey(FreeMemHotKeyId); });
}

void TNBTrayForm::OpenPopupClick() {
  guarded([&] {
    OpenWithShell(ports_.launcher, ProgramFile(ports_.launcher, Constants::MainProgramFile));
  });
}

void TNBTrayForm::TrayIconDblClick() {
  OpenPopupClick();
}

void TNBTrayForm::FreeMemPopupClick() {
  guarded([&] {
    if (monitor_) {
      FreeMemoryForUser(*monitor_, ports_.launcher, monitor_state_);
    } else {
      MemoryFreeNow(ports_.settings, ports_.system, ports_.launcher);
    }
  });
}

void TNBTrayForm::HotKey() {
  FreeMemPopupClick();
}

void TNBTrayForm::HelpPopupClick() {
  guarded([&] { ShowHelpTopic(ports_.launcher, Constants::HelpFile, Constants::HelpTopic); });
}

void TNBTrayForm::ExitPopupClick() {
  guarded([&] {
    // The companions' windows first, the applet's own last; the applet does not wait for the
    // companion programs to end.
    for (std::u16string_view className : ExitCloseOrder) {
      host_.CloseTopLevelWindow(className);
    }
    // When the loop above already closed the applet's window, this changes nothing.
    host_.CloseSelf();
  });
}

void TNBTrayForm::AttachMonitor(const TrayMonitorParts& parts) {
  monitor_.emplace(TrayMonitorPorts{ports_.settings, ports_.system, ports_.resources, parts.desktop,
                                    tray_icon_, parts.clock, parts.updates, parts.renderer});
}

void TNBTrayForm::MainTimerTimer() {
  guarded([&] {
    if (monitor_) {
      ::MainTimerTimer(*monitor_, monitor_state_);
    }
  });
}

void TNBTrayForm::TrayIconBalloonClick() {
  // A release's balloon leads to the main window, which shows the whole record; only the update
  // notice starts the updater.
  if (monitor_state_.balloon == TrayBalloon::Release) {
    OpenPopupClick();
    return;
  }
  guarded([&] { ::TrayIconBalloonClick(ports_.launcher); });
}

void TNBTrayForm::MenuItemClick(size_t position) {
  guarded([&] {
    if (position >= menu_order_.size()) {
      return;
    }
    const auto click = menu_order_[position]->Click();
    if (click != nullptr) {
      (this->*click)();
    }
  });
}

void TNBTrayForm::SetCaption(std::u16string_view text) {
  host_.SetWindowTitle(text);
}
