// The processor records and the sampler against the real system. The records' figures are checked
// against what other Windows calls report about the same things, so that a wrong length or offset
// shows as a wrong figure rather than as a plausible percentage.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "foundation/CPU.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32SystemInfo.h"

namespace {

int64_t ToInt64(RecordInt64 value) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(value.high)) << 32) |
                              value.low);
}

int64_t ToInt64(FILETIME time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              time.dwLowDateTime);
}

int64_t Now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return ToInt64(now);
}

// Idle time of all processors together, as GetSystemTimes reports it.
int64_t SystemIdleTime() {
  FILETIME idle{}, kernel{}, user{};
  EXPECT_TRUE(GetSystemTimes(&idle, &kernel, &user));
  return ToInt64(idle);
}

// 0 when the system does not tell.
int64_t ThreadProcessorTime(HANDLE thread) {
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!GetThreadTimes(thread, &creation, &exit, &kernel, &user)) {
    return 0;
  }
  return ToInt64(kernel) + ToInt64(user);
}

constexpr int64_t Second = 10'000'000;  // in 100-ns units

TEST(Win32ProcessorInfo, RecordsAgreeWithTheSystem) {
  Win32ProcessorInfo records;
  SYSTEM_INFO info{};
  GetSystemInfo(&info);

  const auto processors = records.QueryNumberOfProcessors();
  ASSERT_TRUE(processors.has_value());
  EXPECT_EQ(*processors, info.dwNumberOfProcessors);

  const int64_t before = Now();
  const auto systemTime = records.QuerySystemTime();
  const int64_t after = Now();
  ASSERT_TRUE(systemTime.has_value());
  // Both clocks tick in steps of some milliseconds.
  EXPECT_GE(ToInt64(*systemTime), before - Second / 10);
  EXPECT_LE(ToInt64(*systemTime), after + Second / 10);

  for (PerformanceRecordLength length :
       {PerformanceRecordLength::Short, PerformanceRecordLength::Long}) {
    const int64_t idleBefore = SystemIdleTime();
    const auto idle = records.QueryIdleTime(length);
    const int64_t idleAfter = SystemIdleTime();
    ASSERT_TRUE(idle.has_value());
    // The readings are taken within milliseconds of each other; allow for the coarse steps in
    // which the system counts idle time.
    EXPECT_GE(ToInt64(*idle), idleBefore - Second / 2);
    EXPECT_LE(ToInt64(*idle), idleAfter + Second / 2);
  }
}

TEST(GetProcessorUsage, TwoSamplesASecondApart) {
  Win32ProcessorInfo records;
  Win32SystemInfo system;
  ProcessorSample sample;
  EXPECT_EQ(GetProcessorUsage(sample, records, system), 0.0);
  EXPECT_NE(sample.idleTime, 0);
  Sleep(1000);
  const double usage = GetProcessorUsage(sample, records, system);
  EXPECT_GE(usage, 0.5);
  EXPECT_LE(usage, 100.0);
}

// A thread that keeps one processor busy is non-idle time that the sampler must see: whatever else
// runs on the machine, the usage over the interval is at least that thread's share of all
// processors' time. The sampler's figure must also match the one computed from GetSystemTimes over
// the same interval.
TEST(GetProcessorUsage, BusyLoopOnOneProcessorShows) {
  Win32ProcessorInfo records;
  Win32SystemInfo system;
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const double processors = info.dwNumberOfProcessors;

  ProcessorSample sample;
  GetProcessorUsage(sample, records, system);
  const int64_t idleStart = SystemIdleTime();
  const int64_t wallStart = Now();

  // The thread spins until it has had three quarters of a second of processor time, or for at
  // most six seconds on a machine that is busy with other work.
  int64_t busyTime = 0;
  std::atomic<uint64_t> spins{0};
  std::thread busy([&] {
    HANDLE self = GetCurrentThread();
    const ULONGLONG deadline = GetTickCount64() + 6000;
    while (GetTickCount64() < deadline) {
      for (int spin = 0; spin < 100'000; ++spin) {
        spins.fetch_add(1, std::memory_order_relaxed);
      }
      busyTime = ThreadProcessorTime(self);
      if (busyTime >= Second * 3 / 4) {
        break;
      }
    }
  });
  busy.join();

  const double usage = GetProcessorUsage(sample, records, system);
  const double wall = static_cast<double>(Now() - wallStart);
  const double idle = static_cast<double>(SystemIdleTime() - idleStart);

  EXPECT_GT(spins.load(), 0u);
  ASSERT_GT(busyTime, Second / 10) << "no processor time reported for the busy thread";
  const double busyShare = 100.0 * static_cast<double>(busyTime) / (processors * wall);
  EXPECT_GE(usage, busyShare - 5.0) << "busy thread alone: " << busyShare;

  const double reference = 100.0 - 100.0 * idle / (processors * wall) + 0.5;
  EXPECT_NEAR(usage, std::min(100.0, std::max(0.0, reference)), 10.0);
}

}  // namespace
