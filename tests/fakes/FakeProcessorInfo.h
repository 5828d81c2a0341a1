#pragma once
// Processor records set by the test; records which performance record length was asked for.
#include <optional>
#include <vector>

#include "foundation/ProcessorInfoPort.h"

class FakeProcessorInfo : public ProcessorInfoPort {
 public:
  std::optional<uint8_t> processors = 4;
  std::optional<RecordInt64> systemTime = RecordInt64{};
  std::optional<RecordInt64> idleTime = RecordInt64{};
  std::vector<PerformanceRecordLength> idleQueries;
  // A performance record length the running Windows refuses, as Windows 8 and later refuse the
  // short one.
  std::optional<PerformanceRecordLength> refusedLength;
  int queries = 0;

  std::optional<uint8_t> QueryNumberOfProcessors() override {
    ++queries;
    return processors;
  }
  std::optional<RecordInt64> QuerySystemTime() override {
    ++queries;
    return systemTime;
  }
  std::optional<RecordInt64> QueryIdleTime(PerformanceRecordLength length) override {
    ++queries;
    idleQueries.push_back(length);
    return length == refusedLength ? std::nullopt : idleTime;
  }

  // Both clocks as 64-bit values.
  void Set(int64_t system, int64_t idle) {
    systemTime = Split(system);
    idleTime = Split(idle);
  }
  static RecordInt64 Split(int64_t value) {
    const auto bits = static_cast<uint64_t>(value);
    return {static_cast<uint32_t>(bits), static_cast<int32_t>(static_cast<uint32_t>(bits >> 32))};
  }
};
