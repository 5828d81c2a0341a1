#pragma once
// The three system information records that the processor usage sampler reads, each from its own
// query of NtQuerySystemInformation. The adapter knows the record lengths and field offsets of its
// target; the sampler sees only the fields it uses.
#include <cstdint>
#include <optional>

// A 64-bit value of a record as it is stored: low half unsigned, high half signed.
struct RecordInt64 {
  uint32_t low = 0;
  int32_t high = 0;
  bool operator==(const RecordInt64&) const = default;
};

// Windows 7 and later fill a longer performance record than the one that older versions accept;
// the long one grows as far as the running Windows asks.
enum class PerformanceRecordLength {
  Short,
  Long,
};

class ProcessorInfoPort {
 public:
  virtual ~ProcessorInfoPort() = default;

  // Class 0, basic information: the number of processors. Nothing when the query fails.
  virtual std::optional<uint8_t> QueryNumberOfProcessors() = 0;

  // Class 3, time of day: the current system time in 100-ns units. Nothing when the query fails.
  virtual std::optional<RecordInt64> QuerySystemTime() = 0;

  // Class 2, performance information: the idle time of all processors together in 100-ns units.
  // Nothing when the query fails.
  virtual std::optional<RecordInt64> QueryIdleTime(PerformanceRecordLength length) = 0;
};
