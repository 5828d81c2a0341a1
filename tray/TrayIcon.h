#pragma once
// The tray window's notification-area icon: the one record it keeps and hands to the shell, and
// what it does with the shell's notifications. The adapter behind ShellNotifyPort owns the hidden
// window that receives them and fills in that window as the record's owner and identifier.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/Captions.h"
#include "tray/NotificationIconPort.h"

// NOTIFYICONDATAW.uFlags.
namespace NotifyFlag {
inline constexpr uint32_t Message = 0x01;  // NIF_MESSAGE
inline constexpr uint32_t Icon = 0x02;     // NIF_ICON
inline constexpr uint32_t Tip = 0x04;      // NIF_TIP
inline constexpr uint32_t Info = 0x10;     // NIF_INFO
}  // namespace NotifyFlag

// Shell_NotifyIconW messages.
enum class NotifyMessage : uint32_t { Add = 0, Modify = 1, Delete = 2 };

// What arrives in the low word of the callback message's lParam (no NOTIFYICON_VERSION is set).
namespace NotifyEvent {
inline constexpr uint32_t LeftButtonDoubleClick = 0x0203;    // WM_LBUTTONDBLCLK
inline constexpr uint32_t RightButtonUp = 0x0205;            // WM_RBUTTONUP
inline constexpr uint32_t RightButtonDoubleClick = 0x0206;   // WM_RBUTTONDBLCLK
inline constexpr uint32_t MiddleButtonDoubleClick = 0x0209;  // WM_MBUTTONDBLCLK
inline constexpr uint32_t BalloonUserClick = 0x0405;         // NIN_BALLOONUSERCLICK
}  // namespace NotifyEvent

inline constexpr uint32_t TrayIconCallbackMessage = 0x0400 + 1;  // WM_USER + 1
inline constexpr uint32_t BalloonTimeoutMilliseconds = 10000;
inline constexpr uint32_t BalloonInfoKind = 1;  // NIIF_INFO
// The record's text fields hold one character more for the terminating NUL.
inline constexpr size_t MaxTipLength = 127;
inline constexpr size_t MaxBalloonTitleLength = 63;
inline constexpr size_t MaxBalloonTextLength = 255;

struct NotifyIconRecord {
  uint32_t size = 0;  // cbSize
  uint32_t flags = NotifyFlag::Message | NotifyFlag::Icon;
  uint32_t callbackMessage = TrayIconCallbackMessage;
  IconHandle icon = nullptr;
  std::u16string tip;                                    // szTip
  std::u16string balloonText;                            // szInfo
  std::u16string balloonTitle;                           // szInfoTitle
  uint32_t balloonTimeout = BalloonTimeoutMilliseconds;  // uTimeout
  uint32_t balloonKind = BalloonInfoKind;                // dwInfoFlags
};

class ShellNotifyPort {
 public:
  virtual ~ShellNotifyPort() = default;
  // Shell_NotifyIconW with the record, owned by the adapter's hidden window. False when it fails.
  virtual bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) = 0;
  // A copy of an icon that the caller owns; throws when it cannot be made.
  virtual IconHandle CopyIcon(IconHandle icon) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
};

// cbSize: the record without its last two members for the versions before Vista (codes 0 to 2),
// the whole record for Vista on, and for every later version (-1).
uint32_t NotifyIconRecordSize(int32_t windowsVersionCode, uint32_t wholeRecordSize,
                              uint32_t shortRecordSize);

// At most maxUnits UTF-16 units, never ending in half a surrogate pair.
std::u16string CutText(std::u16string_view text, size_t maxUnits);

class TrayIcon final : public NotificationIconPort, public CaptionedComponent {
 public:
  // Hidden when created; hint is the application title until the language file says otherwise.
  TrayIcon(ShellNotifyPort& shell, uint32_t recordSize, std::u16string_view hint);
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon() override;  // the icon leaves the notification area with its owner

  // NotificationIconPort
  bool IsShown() const override { return shown_; }
  void Show() override;
  void Hide() override;
  void SetImage(IconHandle icon) override;
  void SetBalloonTitle(std::u16string_view title) override;
  void SetBalloonText(std::u16string_view text) override;
  void ShowBalloon() override;

  // CaptionedComponent: the language file's text is the tooltip.
  std::u16string_view ComponentName() const override { return u"TrayIcon"; }
  ComponentKind Kind() const override { return ComponentKind::NotificationIcon; }
  void SetCaption(std::u16string_view text) override { SetHint(text); }

  void SetHint(std::u16string_view hint);
  const NotifyIconRecord& Record() const { return record_; }

  // Shell notifications, delivered by the adapter.
  void OnNotify(uint32_t event);
  void OnTaskbarCreated();  // the shell restarted: a shown icon is added again
  void OnEndSession(bool ending);

  // What the tray window does on the icon's events.
  std::function<void()> onPopup;         // right button released
  std::function<void()> onDoubleClick;   // double click with any button
  std::function<void()> onBalloonClick;  // click on the balloon

 private:
  bool Notify(NotifyMessage message) { return shell_.ShellNotifyIcon(message, record_); }
  void Add();  // shown only when the shell has the icon
  void Modify(uint32_t extraFlags = 0);
  void ReleaseImage();

  ShellNotifyPort& shell_;
  NotifyIconRecord record_;
  // The copy that record_.icon names.
  OwnedIcon<ShellNotifyPort> image_{shell_};
  bool shown_ = false;
};
