#include "foundation/ReleaseRequest.h"

#include <algorithm>
#include <limits>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/RAM.h"
#include "foundation/base/Rounding.h"
#include "foundation/SettingsTable.h"
#include "foundation/Shell.h"
#include "foundation/base/Text.h"

bool IsLargeMemoryClass(int64_t totalBytes) {
  const int64_t megabytes = RoundToInt64(RoundedMegabytes(static_cast<long double>(totalBytes)));
  return megabytes >= Constants::LargeMemoryMegabytes;
}

int32_t GetMemoryFreePercent(const CustomRegistry& settings, SystemInfoPort& system) {
  return ReadSettingInteger(settings, SettingId::MemoryFree, {GetTotalPhysicalMemory(system)});
}

int32_t GetMemoryMaintainPercent(const CustomRegistry& settings, SystemInfoPort& system) {
  return ReadSettingInteger(settings, SettingId::MemoryMaintain, {GetTotalPhysicalMemory(system)});
}

namespace {

long double ShareOfBytes(int32_t percent, int64_t totalBytes) {
  const long double share = static_cast<long double>(percent) / 100.0L;
  return RoundHalfEven(static_cast<long double>(totalBytes) * share);
}

}  // namespace

int64_t PercentOfBytes(int32_t percent, int64_t totalBytes) {
  // A share beyond the 64-bit range only ever meets figures within it, so it saturates and keeps
  // every comparison as the exact product would decide it.
  constexpr long double Lowest = static_cast<long double>(std::numeric_limits<int64_t>::min());
  constexpr long double Highest = static_cast<long double>(std::numeric_limits<int64_t>::max());
  return RoundToInt64(std::clamp(ShareOfBytes(percent, totalBytes), Lowest, Highest));
}

int32_t BytesToMegabytes(int64_t bytes) {
  return RoundToInt32(RoundedMegabytes(static_cast<long double>(bytes)));
}

int32_t GetReleaseMegabytes(int32_t percent, int64_t totalBytes) {
  const long double megabytes = RoundedMegabytes(ShareOfBytes(percent, totalBytes));
  // Never more than the machine holds: every 1024 MB of a request is a worker process started at
  // once, so a hostile percentage would otherwise start thousands of them. A request thus starts
  // at most one worker per 1024 MB of total memory. Zero and negative amounts stay as they are
  // (one start, which the worker ignores), held within the 32-bit range.
  const long double most = RoundedMegabytes(static_cast<long double>(totalBytes));
  constexpr long double Lowest = static_cast<long double>(std::numeric_limits<int32_t>::min());
  return RoundToInt32(std::clamp(megabytes, Lowest, std::max(most, 0.0L)));
}

void RequestMemoryRelease(LauncherPort& launcher, int32_t megabytes) {
  const std::u16string worker = ProgramFile(launcher, Constants::ReleaseWorkerFile);
  // 64-bit so that counting down from a value near the 32-bit limit cannot overflow.
  int64_t remaining = megabytes;
  do {
    const int64_t chunk =
        remaining < Constants::ReleaseChunkMegabytes ? remaining : Constants::ReleaseChunkMegabytes;
    OpenWithShell(launcher, worker, DecimalText(chunk));
    remaining -= Constants::ReleaseChunkMegabytes;
  } while (remaining > 0);
}

void MemoryFreeNow(const CustomRegistry& settings, SystemInfoPort& system, LauncherPort& launcher) {
  guarded([&] {
    const int32_t percent = GetMemoryFreePercent(settings, system);
    const int64_t total = GetTotalPhysicalMemory(system);
    RequestMemoryRelease(launcher, GetReleaseMegabytes(percent, total));
  });
}
