// The service's check before it starts the workers of a due release.
#include "service/ReleaseStartRule.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServicePorts.h"

namespace {

constexpr uint64_t Now = 133000000000000000ull;  // FILETIME
constexpr uint64_t Second = 10'000'000;

struct FixedUtc : UtcClockPort {
  uint64_t UtcFileTime() override { return Now; }
};

TEST(ReleaseStartRule, NoStartThatWouldEndAtOnceNorFromAFolderOthersMayChange) {
  struct Step {
    const char* what;
    uint64_t advance;      // ms since the step before
    int64_t lastEndedAgo;  // seconds before now; 0: no LastRelease
    bool workerWritable;   // Everyone may write the worker
    bool starts;
    size_t logged;  // event-log entries so far
  };
  const Step steps[] = {
      {"the first request", 0, 0, false, true, 0},
      {"its own request 29.9 s old", 29'900, 0, false, false, 0},
      {"its own request 30 s old", 100, 0, false, true, 0},
      {"a run that ended 10 s ago", 30'000, 10, false, false, 0},
      {"a run that ended 30 s ago", 0, 30, false, true, 0},
      {"a time in the future counts as none", 30'000, -3600, false, true, 0},
      {"30 s after that", 30'000, 0, false, true, 0},
      {"Everyone may write the worker", 30'000, 0, true, false, 1},
      {"refused again: logged once", 1'000, 0, true, false, 1},
      {"mended: a refusal is no start", 1'000, 0, false, true, 1},
      {"writable again: logged again", 30'000, 0, true, false, 2},
  };
  FakeFolderSecurity folders;
  FakeRegistry registry;
  FakeClock clock;
  FixedUtc utc;
  FakeEventLog log;
  clock.tickCount = 3'600'000;
  ReleaseStartRule rule({folders, registry, clock, utc, log}, u"C:\\Nimbello\\",
                        u"C:\\Nimbello\\NimbelloService.exe");
  for (const Step& s : steps) {
    clock.tickCount += s.advance;
    if (s.lastEndedAgo != 0) {
      const uint64_t time = Now - static_cast<uint64_t>(s.lastEndedAgo * int64_t{Second});
      std::array<std::byte, 8> bytes{};
      for (size_t i = 0; i < 8; ++i) {
        bytes[i] = static_cast<std::byte>(time >> (8 * i));
      }
      registry.SetValue(Constants::SettingsRoot, Constants::LastReleaseKey,
                        Constants::LastReleaseTime, RegType::Qword, bytes);
    } else {
      registry.SetValue(Constants::SettingsRoot, Constants::LastReleaseKey,
                        Constants::LastReleaseTime, RegType::Qword, std::array<std::byte, 8>{});
    }
    folders.paths.clear();
    if (s.workerWritable) {
      folders.paths[u"C:\\Nimbello\\NimbelloDefrag.exe"] = PathSecurity{
          false, u"S-1-5-32-544", {{AccessEntry::Kind::Allow, 0, 0x1301BF, u"S-1-1-0"}}};
    }
    EXPECT_EQ(rule.MayStart(), s.starts) << s.what;
    EXPECT_EQ(log.Entries().size(), s.logged) << s.what;
  }
  EXPECT_NE(log.Entries().at(0).find(u"folder C:\\Nimbello or"), std::u16string::npos);
}

}  // namespace
