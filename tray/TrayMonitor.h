#pragma once
// The tray applet's once-a-second monitor tick: full-screen report, DefragMemory, icon presence,
// the answer to a release the user asked for, the update schedule and the usage graph, in that
// order.
#include <cstdint>
#include <optional>
#include <string_view>

#include "foundation/ClockPort.h"
#include "foundation/CustomRegistry.h"
#include "foundation/ResourcePort.h"
#include "foundation/SystemInfoPort.h"
#include "tray/CustomTrayIconImage.h"
#include "tray/DesktopPort.h"
#include "tray/HttpGetPort.h"
#include "tray/NotificationIconPort.h"

namespace TrayMonitor {
// A window within this many pixels of every edge of the primary display counts as full screen.
inline constexpr int32_t FullScreenMargin = 5;
// Taskbar up and icon missing: give the shell this long before adding the icon.
inline constexpr uint32_t ShowIconWaitMilliseconds = 1000;
// The counter starts here so that the first check can come about two hours after the start
// (79200; a test build of the applet starts it a few ticks short of a check instead).
inline constexpr int32_t FirstUpdateTick = NIMBELLO_FIRST_UPDATE_TICK;
// A check is possible once the counter passes this, i.e. once a day of ticks after a check.
inline constexpr int32_t UpdateTickLimit = 86399;
// A check needs an installed version more than this many whole days old.
inline constexpr int32_t UpdateAgeDays = 30;
// The tray window's section in the language file, which holds the balloons' texts.
inline constexpr std::u16string_view CaptionSection = u"NBTrayForm";
}  // namespace TrayMonitor

// Which balloon a click answers: the updater for the update notice, the main window otherwise.
enum class TrayBalloon { None, Update, Release };

// A release the user asked for whose record has not arrived yet.
struct PendingRelease {
  uint64_t previousTime = 0;  // LastRelease's Time as it was before the request
  uint64_t askedTick = 0;     // the tick count of the request
};

// What one applet keeps from tick to tick for as long as it runs.
struct TrayMonitorState {
  // Raised by 1 on every tick, back to 0 only when an update check is made.
  int32_t updateTickCounter = TrayMonitor::FirstUpdateTick;
  std::optional<PendingRelease> pendingRelease;
  TrayBalloon balloon = TrayBalloon::None;  // the one shown last
};

// The update exchange as the tick uses it; the program answers with CheckForUpdate.
class UpdateCheckPort {
 public:
  virtual ~UpdateCheckPort() = default;
  // 0 no update, 1 an update exists, 2 the server's third answer, -1 no usable answer.
  virtual int32_t CheckForUpdate() = 0;
};

// CheckForUpdate over an HTTP getter.
class HttpUpdateCheck final : public UpdateCheckPort {
 public:
  explicit HttpUpdateCheck(HttpGetPort& http) : http_(http) {}
  int32_t CheckForUpdate() override;

 private:
  HttpGetPort& http_;
};

struct TrayMonitorPorts {
  const CustomRegistry& settings;
  SystemInfoPort& system;
  ResourcePort& resources;  // the language files, for the balloon's texts
  DesktopPort& desktop;
  NotificationIconPort& icon;
  ClockPort& clock;  // local time, locale formats and the wait
  UpdateCheckPort& updates;
  CustomTrayIconImage& renderer;
};

// True when the rectangle reaches within the margin of all four edges of the screen.
bool IsFullScreenRect(const WindowRect& window, ScreenSize screen);

// One tick of TNBTrayForm's MainTimer. A failing step ends the tick quietly; never throws.
void MainTimerTimer(const TrayMonitorPorts& ports, TrayMonitorState& state) noexcept;
