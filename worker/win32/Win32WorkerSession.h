#pragma once
#include <string>
#include <string_view>

#include "worker/WorkerPorts.h"

// The worker started with this one argument only reports the process of its session's foreground
// window as its exit code (0 for none) and does nothing else. The service's worker, in session 0
// where there is no such window, starts one in the active console session as its user.
inline constexpr std::u16string_view ForegroundSwitch = u"/foreground";

class Win32WorkerSession : public WorkerSessionPort {
 public:
  uint32_t CurrentProcessId() override;
  std::optional<uint32_t> ForegroundProcessId() override;
  void EnterBackgroundMode() override;
};

// The foreground window's process in this program's own session.
std::optional<uint32_t> SessionForegroundProcessId();

// The same asked of the worker program `worker` started with ForegroundSwitch on `desktop` of the
// active console session as its logged-on user, within ConsoleAnswerMilliseconds; nothing where
// there is no such session or user, or no answer.
std::optional<uint32_t> ConsoleForegroundProcessId(const std::wstring& worker,
                                                   const std::wstring& desktop);
// The desktop the user works on.
inline constexpr wchar_t InteractiveDesktop[] = L"winsta0\\default";
inline constexpr uint32_t ConsoleAnswerMilliseconds = 2000;
