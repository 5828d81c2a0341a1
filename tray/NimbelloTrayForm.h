#pragma once
// The tray window TNBTrayForm: the applet's only window, never shown. It owns the notification
// icon with its popup menu, the once-a-second timer and the global hot key Ctrl+Alt+F, and handles
// the four user commands. This is the window's behaviour; tray/win32 gives it a real window.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Captions.h"
#include "foundation/CustomRegistry.h"
#include "foundation/LauncherPort.h"
#include "foundation/ResourcePort.h"
#include "foundation/SystemInfoPort.h"
#include "foundation/ClockPort.h"
#include "tray/CustomTrayIconImage.h"
#include "tray/DesktopPort.h"
#include "tray/SystemFont.h"
#include "tray/TrayIcon.h"
#include "tray/TrayMonitor.h"

// The window's component name, its section in the language file.
inline constexpr std::u16string_view TrayFormName = u"NBTrayForm";

// Ctrl+Alt+F, registered for the tray window.
inline constexpr int32_t FreeMemHotKeyId = 1;
inline constexpr uint32_t FreeMemHotKeyModifiers = 0x0001 | 0x0002;  // MOD_ALT | MOD_CONTROL
inline constexpr uint32_t FreeMemHotKeyKey = 0x46;                   // 'F'

// The applet runs at high priority.
inline constexpr int32_t TrayPriorityCode = 2;

// Exit closes the product's windows in this order; the last is the applet's own.
inline constexpr std::array<std::u16string_view, 7> ExitCloseOrder = {
    u"TNBAboutForm",    u"TNBAdvancedSettingsForm",
    u"TNBSettingsForm", u"TNBStatsForm",
    u"TNBTestForm",     u"TNBMainForm",
    u"TNBTrayForm",
};

// Priority class of SetPriorityClass for a priority code from -2 (idle) to 3 (real time);
// nothing for any other code.
std::optional<uint32_t> PriorityClassForCode(int32_t code);

class ProcessPriorityPort {
 public:
  virtual ~ProcessPriorityPort() = default;
  // OpenProcess(PROCESS_SET_INFORMATION, not inheritable, processId); when that succeeds and a
  // class is given, SetPriorityClass; then the handle is closed. Failures are silent.
  virtual void SetPriorityClass(uint32_t processId, std::optional<uint32_t> priorityClass) = 0;
};

void SetProcessPriority(ProcessPriorityPort& processes, uint32_t processId, int32_t code);

// The application title: the program's file name without folder, cut at its first ".", every
// character after the first in lower case ("NimbelloTray.exe" gives "Nimbellotray").
std::u16string ApplicationTitle(std::u16string_view modulePath);

// What the tray window needs of its real window.
class TrayFormHost : public ProcessPriorityPort {
 public:
  // The system's icon-title font, or the stock system font when it cannot be read.
  virtual FormFont DesktopFont() = 0;
  virtual void SetWindowFont(const FormFont& font) = 0;
  virtual void SetWindowTitle(std::u16string_view title) = 0;
  virtual bool RegisterHotKey(int32_t id, uint32_t modifiers, uint32_t virtualKey) = 0;
  virtual bool UnregisterHotKey(int32_t id) = 0;
  virtual uint32_t CurrentProcessId() = 0;
  // The first top-level window of the class gets WM_CLOSE; the wait for it is bounded. Nothing
  // happens when there is none.
  virtual void CloseTopLevelWindow(std::u16string_view className) = 0;
  // WM_CLOSE to the tray window itself: FormClose, then the application terminates.
  virtual void CloseSelf() = 0;
  // PopupMenu at the cursor, with the application's hidden window in the foreground first.
  virtual void OpenPopupMenu() = 0;
};

struct TrayFormPorts {
  const CustomRegistry& settings;
  ResourcePort& resources;
  SystemInfoPort& system;
  LauncherPort& launcher;
};

// What the monitor tick needs besides the window's own ports and its icon.
struct TrayMonitorParts {
  DesktopPort& desktop;
  ClockPort& clock;
  UpdateCheckPort& updates;
  CustomTrayIconImage& renderer;
};

class TNBTrayForm;
// The click handler of a menu item; separators have none.
using TrayCommand = void (TNBTrayForm::*)();

// A component of the tray window as the language file and the font rules see it.
class TrayComponent : public CaptionedComponent, public FontedComponent {
 public:
  TrayComponent(std::u16string_view name, ComponentKind kind) : name_(name), kind_(kind) {}
  std::u16string_view ComponentName() const override { return name_; }
  ComponentKind Kind() const override { return kind_; }
  void SetCaption(std::u16string_view text) override { caption_ = text; }
  const std::u16string& Caption() const { return caption_; }
  // None of the tray window's components has a font or a parent-font flag.
  std::optional<bool> ParentFont() const override { return std::nullopt; }
  FormFont* OwnFont() override { return nullptr; }

 private:
  std::u16string_view name_;
  ComponentKind kind_;
  std::u16string caption_;
};

// An item of PopupMenu. Command items get their captions only from the language file.
class TrayMenuItem final : public TrayComponent {
 public:
  TrayMenuItem(std::u16string_view name, std::u16string_view caption, bool isDefault,
               TrayCommand click)
      : TrayComponent(name, ComponentKind::MenuItem), default_(isDefault), click_(click) {
    SetCaption(caption);
  }
  bool IsDefault() const { return default_; }
  bool IsSeparator() const { return Caption() == u"-"; }
  TrayCommand Click() const { return click_; }

 private:
  bool default_;
  TrayCommand click_;
};

class TNBTrayForm final : public CaptionedWindow, public FontedForm {
 public:
  // The icon's record size and the application title come from the platform.
  TNBTrayForm(TrayFormHost& host, const TrayFormPorts& ports, ShellNotifyPort& shell,
              uint32_t iconRecordSize, std::u16string_view applicationTitle);
  TNBTrayForm(const TNBTrayForm&) = delete;
  TNBTrayForm& operator=(const TNBTrayForm&) = delete;

  // Event handlers, each guarded as a whole.
  void FormCreate();
  void FormClose();
  void OpenPopupClick();
  void TrayIconDblClick();
  void FreeMemPopupClick();
  void HotKey();  // any WM_HOTKEY, whatever its identifier
  void HelpPopupClick();
  void ExitPopupClick();
  void MainTimerTimer();
  void TrayIconBalloonClick();
  void DesktopFontChanged();

  // The monitor tick's desktop, clock, update check and renderer, given by the program; until
  // then a tick does nothing.
  void AttachMonitor(const TrayMonitorParts& parts);
  const TrayMonitorState& MonitorState() const { return monitor_state_; }

  TrayIcon& Icon() { return tray_icon_; }
  // PopupMenu's items in display order.
  std::span<TrayMenuItem* const> MenuItems() { return menu_order_; }
  // Runs the click of the item at that display position; out-of-range positions do nothing.
  void MenuItemClick(size_t position);
  const FormFont& CurrentFont() const { return font_; }

  // CaptionedWindow
  std::u16string_view ComponentName() const override { return TrayFormName; }
  void SetCaption(std::u16string_view text) override;
  std::span<CaptionedComponent* const> Components() override { return captioned_; }

  // FontedForm
  FormFont& Font() override { return font_; }
  std::span<FontedComponent* const> FontedComponents() override { return fonted_; }

 private:
  TrayFormHost& host_;
  TrayFormPorts ports_;
  FormFont font_;
  std::optional<TrayMonitorPorts> monitor_;
  // The tick's own state, for as long as the applet runs.
  TrayMonitorState monitor_state_;

  // Components in declaration order.
  TrayIcon tray_icon_;
  TrayComponent main_timer_{u"MainTimer", ComponentKind::Other};
  TrayComponent popup_menu_{u"PopupMenu", ComponentKind::Other};
  TrayMenuItem exit_popup_{u"ExitPopup", u"", false, &TNBTrayForm::ExitPopupClick};
  TrayMenuItem n1_{u"N1", u"-", false, nullptr};
  TrayMenuItem help_popup_{u"HelpPopup", u"", false, &TNBTrayForm::HelpPopupClick};
  TrayMenuItem open_popup_{u"OpenPopup", u"", true, &TNBTrayForm::OpenPopupClick};
  TrayMenuItem n2_{u"N2", u"-", false, nullptr};
  TrayMenuItem free_mem_popup_{u"FreeMemPopup", u"", false, &TNBTrayForm::FreeMemPopupClick};

  std::array<CaptionedComponent*, 9> captioned_;
  std::array<FontedComponent*, 8> fonted_;
  std::array<TrayMenuItem*, 6> menu_order_;
};
