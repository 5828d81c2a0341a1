#pragma once
#include <windows.h>

#include <mutex>

#include "foundation/ClockPort.h"
#include "foundation/base/TickCount.h"

// Uptime, local time and the user locale's date and time texts. GetTickCount64 is bound at run
// time, so the 32-bit programs still start on Windows versions without it; there the 32-bit
// GetTickCount is carried on across its wraps instead.
class Win32Clock : public ClockPort {
 public:
  enum class TickSource {
    Best,               // GetTickCount64 where Windows has it
    ExtendedTickCount,  // always the carried-on 32-bit count, as on Windows without it
  };

  explicit Win32Clock(TickSource source = TickSource::Best);
  Win32Clock(const Win32Clock&) = delete;
  Win32Clock& operator=(const Win32Clock&) = delete;
  ~Win32Clock() override = default;

  bool UsesTickCount64() const { return tick_count_64_ != nullptr; }

  uint64_t TickCount64() override;
  LocalDateTime LocalNow() override;
  uint64_t UtcFileTime() override;
  std::u16string FormatShortDate(const LocalDateTime& when) override;
  std::u16string FormatLongTime(const LocalDateTime& when) override;
  LocaleDateFormats DateFormats() override;
  void Sleep(uint32_t milliseconds) override;

 private:
  using TickCount64Fn = ULONGLONG(WINAPI*)();
  TickCount64Fn tick_count_64_ = nullptr;
  // The tray and the service may read the clock from more than one thread.
  std::mutex extended_mutex_;
  ExtendedTickCount extended_;
};
