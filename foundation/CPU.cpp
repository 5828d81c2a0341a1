#include "foundation/CPU.h"

#include "foundation/base/Guard.h"
#include "foundation/WindowsVersion.h"

namespace {

// Windows 2000 to Server 2008 (codes 0 to 4) take the performance record of their time.
constexpr int32_t LastShortRecordCode = 4;

// The 32-bit build computes on the x87 stack, whose registers keep 64-bit mantissas. Storing each
// step as a double gives the figures of double arithmetic throughout, on every target.
double Stored(double value) {
  volatile double stored = value;
  return stored;
}

int64_t RawValue(RecordInt64 value) {
  const uint64_t high = static_cast<uint32_t>(value.high);
  return static_cast<int64_t>((high << 32) | value.low);
}

RecordInt64 Halves(int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  return {static_cast<uint32_t>(bits), static_cast<int32_t>(static_cast<uint32_t>(bits >> 32))};
}

}  // namespace

double RecordValueToDouble(RecordInt64 value) {
  return Stored(Stored(static_cast<double>(value.high) * 4294967296.0) +
                static_cast<double>(value.low));
}

double GetProcessorUsage(ProcessorSample& previous, ProcessorInfoPort& processors,
                         SystemInfoPort& system) {
  return guarded_or(0.0, [&] {
    const std::optional<uint8_t> processorCount = processors.QueryNumberOfProcessors();
    if (!processorCount) {
      return 0.0;
    }
    const std::optional<RecordInt64> systemTime = processors.QuerySystemTime();
    if (!systemTime) {
      return 0.0;
    }
    // The old record only where a known version needs it: Windows 8 and later (code -1) refuse
    // it, and every query would fail.
    const int32_t versionCode = GetWindowsVersionCode(system);
    const PerformanceRecordLength length = versionCode >= 0 && versionCode <= LastShortRecordCode
                                               ? PerformanceRecordLength::Short
                                               : PerformanceRecordLength::Long;
    const std::optional<RecordInt64> idleTime = processors.QueryIdleTime(length);
    if (!idleTime) {
      return 0.0;
    }

    double usage = 0.0;
    if (previous.idleTime != 0) {
      const double elapsedIdle =
          Stored(RecordValueToDouble(*idleTime) - RecordValueToDouble(Halves(previous.idleTime)));
      const double elapsedTime = Stored(RecordValueToDouble(*systemTime) -
                                        RecordValueToDouble(Halves(previous.systemTime)));
      const double n = *processorCount;
      // Nothing to divide by: this call measured nothing, so the older sample stays.
      if (elapsedTime == 0.0 || n == 0.0) {
        return 0.0;
      }
      const double idleRatio = Stored(elapsedIdle / elapsedTime);
      const double idleShare = Stored(Stored(idleRatio * 100.0) / n);
      usage = Stored(Stored(100.0 - idleShare) + 0.5);
      if (usage < 0.0) {
        usage = 0.0;
      } else if (usage > 100.0) {
        usage = 100.0;
      }
    }
    previous.idleTime = RawValue(*idleTime);
    previous.systemTime = RawValue(*systemTime);
    return usage;
  });
}
