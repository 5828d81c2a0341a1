#include "foundation/ReleaseRequest.h"

#include "foundation/Constants.h"
#include "foundation/Guard.h"
#include "foundation/RAM.h"
#include "foundation/Rounding.h"
#include "foundation/Shell.h"
#include "foundation/Text.h"

bool IsLargeMemoryClass(int64_t totalBytes) {
  const int64_t megabytes =
      RoundToInt64(static_cast<long double>(totalBytes) / 1024.0L / 1024.0L);
  return megabytes >= Constants::LargeMemoryMegabytes;
}

int32_t MemoryFreeDefault(bool large) {
  return large ? 60 : 40;
}

int32_t MemoryMaintainDefault(bool large) {
  return large ? 30 : 20;
}

int32_t GetMemoryFreePercent(const CustomRegistry& settings, SystemInfoPort& system) {
  const bool large = IsLargeMemoryClass(GetTotalPhysicalMemory(system));
  return settings.ReadSettingInteger(Constants::MemoryFree, MemoryFreeDefault(large));
}

int32_t GetMemoryMaintainPercent(const CustomRegistry& settings, SystemInfoPort& system) {
  const bool large = IsLargeMemoryClass(GetTotalPhysicalMemory(system));
  return settings.ReadSettingInteger(Constants::MemoryMaintain, MemoryMaintainDefault(large));
}

int64_t PercentOfBytes(int32_t percent, int64_t totalBytes) {
  const long double share = static_cast<long double>(percent) / 100.0L;
  return RoundToInt64(static_cast<long double>(totalBytes) * share);
}

int32_t BytesToMegabytes(int64_t bytes) {
  return RoundToInt32(static_cast<long double>(bytes) / 1024.0L / 1024.0L);
}

int32_t GetReleaseMegabytes(int32_t percent, int64_t totalBytes) {
  return BytesToMegabytes(PercentOfBytes(percent, totalBytes));
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

void MemoryFreeNow(const CustomRegistry& settings, SystemInfoPort& system,
                   LauncherPort& launcher) {
  guarded([&] {
    const int32_t percent = GetMemoryFreePercent(settings, system);
    const int64_t total = GetTotalPhysicalMemory(system);
    RequestMemoryRelease(launcher, GetReleaseMegabytes(percent, total));
  });
}
