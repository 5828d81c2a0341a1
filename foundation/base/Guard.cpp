#include "foundation/base/Guard.h"

#include <atomic>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "foundation/base/DebugOutput.h"
#include "foundation/base/Text.h"

namespace {

// The one piece of process-wide state: set at program start, read by every thread's guards.
std::atomic<DebugOutputPort*> g_sink{nullptr};

struct FailureInFlight {
  uint32_t code = 0;
  std::string what = "unknown failure";
};

FailureInFlight DescribeFailureInFlight() {
  FailureInFlight failure;
  try {
    // Only ever called from a catch block: there is always a failure in flight.
    // cppcheck-suppress rethrowNoCurrentException
    throw;
  } catch (const std::system_error& e) {
    failure.code = static_cast<uint32_t>(e.code().value());
    failure.what = e.what();
  } catch (const FailureWithCode& e) {
    failure.code = e.ErrorCode();
    if (const auto* described = dynamic_cast<const std::exception*>(&e)) {
      failure.what = described->what();
    }
  } catch (const std::exception& e) {
    failure.what = e.what();
  } catch (...) {
  }
  return failure;
}

// The unit is the source file's name without folder and extension.
std::string_view Component(std::string_view file) {
  const size_t slash = file.find_last_of("\\/");
  if (slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  return file.substr(0, file.find('.'));
}

}  // namespace

void SetDebugOutput(DebugOutputPort* sink) noexcept {
  g_sink.store(sink);
}

void DebugOutput(std::u16string_view line) noexcept {
  if (DebugOutputPort* sink = g_sink.load()) {
    sink->Output(line);
  }
}

void ReportAbsorbedFailure(const char* file, const char* function, uint32_t lineNumber) noexcept {
  if (g_sink.load() == nullptr) {
    return;
  }
  try {
    const FailureInFlight failure = DescribeFailureInFlight();
    std::string line = "Nimbello: ";
    line += Component(file);
    line += ": ";
    line += function;
    line += " line ";
    line += std::to_string(lineNumber);
    line += ": error ";
    line += std::to_string(failure.code);
    line += ": ";
    line += failure.what;
    DebugOutput(FromUtf8(line));
  } catch (...) {
    // Telling is best effort: the failure stays absorbed either way.
  }
}
