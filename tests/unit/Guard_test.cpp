// The guards absorb every failure as before and tell each one to the debug output.
#include "foundation/base/Guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "foundation/base/DebugOutput.h"
#include "foundation/base/Text.h"
#include "service/FailureText.h"

namespace {

struct RecordedLines : DebugOutputPort {
  std::vector<std::string> lines;
  void Output(std::u16string_view line) noexcept override { lines.push_back(ToUtf8(line)); }
};

void FailingStep() {
  guarded([] { throw OSFailure(5, u"System Error.  Code: 5."); });
}

TEST(Guard, AbsorbedFailuresGoToTheDebugOutputWithWhereAndCode) {
  RecordedLines sink;
  guarded([] { throw std::runtime_error("unheard"); });  // no sink yet: nothing, no failure
  SetDebugOutput(&sink);
  FailingStep();
  const int fallback = guarded_or(
      7, []() -> int { throw std::system_error(1063, std::system_category(), "dispatcher"); });
  guarded([] {});
  SetDebugOutput(nullptr);
  EXPECT_EQ(fallback, 7);
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_NE(sink.lines[0].find("Guard_test: "), std::string::npos) << sink.lines[0];
  EXPECT_NE(sink.lines[0].find("FailingStep"), std::string::npos) << sink.lines[0];
  EXPECT_NE(sink.lines[0].find("error 5: System Error"), std::string::npos) << sink.lines[0];
  EXPECT_NE(sink.lines[1].find("error 1063: dispatcher"), std::string::npos) << sink.lines[1];
}

}  // namespace
