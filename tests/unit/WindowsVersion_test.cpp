#include "foundation/WindowsVersion.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeSystemInfo.h"

namespace {

TEST(WindowsVersionCode, ClassificationTable) {
  struct Case {
    uint32_t major, minor;
    uint8_t product;
    int32_t code;
  };
  const Case cases[] = {
      {5, 0, 1, 0},  {5, 1, 1, 1},  {5, 2, 3, 2},   {5, 3, 1, -1}, {6, 0, 1, 3},
      {6, 0, 3, 4},  {6, 0, 2, -1}, {6, 0, 0, -1},  {6, 1, 1, 5},  {6, 1, 3, 5},
      {6, 2, 1, -1}, {6, 3, 1, -1}, {10, 0, 1, -1}, {4, 0, 1, -1}, {0, 0, 0, -1},
  };
  for (const auto& c : cases) {
    FakeSystemInfo sys;
    sys.SetVersion(c.major, c.minor, c.product);
    EXPECT_EQ(GetWindowsVersionCode(sys), c.code) << c.major << "." << c.minor << "/" << +c.product;
  }
}

TEST(WindowsVersionCode, FallsBackToBasicRecordWithProductTypeZero) {
  FakeSystemInfo sys;
  sys.versionBasic = VersionRecord{6, 0, 1};  // a basic record never carries a product type
  EXPECT_EQ(GetWindowsVersionCode(sys), -1);
  EXPECT_EQ(sys.versionQueries, (std::vector<uint32_t>{284, 276}));
  sys.versionBasic = VersionRecord{6, 1, 0};
  EXPECT_EQ(GetWindowsVersionCode(sys), 5);
  sys.versionBasic.reset();
  EXPECT_EQ(GetWindowsVersionCode(sys), -1);
}

}  // namespace
