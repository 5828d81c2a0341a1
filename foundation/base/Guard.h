#pragma once
// Handlers guard their whole body: a failure ends the handler quietly and the program goes on
// with its next event. This is the one place that says so. Each absorbed failure is told to the
// debug output (DebugOutput.h) with where it was absorbed and its error code, and nothing else
// changes.
#include <cstdint>
#include <utility>

// A failure that carries a system error code says so through this, so that the guard can name it.
class FailureWithCode {
 public:
  virtual ~FailureWithCode() = default;
  virtual uint32_t ErrorCode() const noexcept = 0;
};

// Tells the debug output about the failure in flight (call only inside a catch block). Where it
// was absorbed comes from the compiler's builtins in the guards' default arguments, which name the
// guard's caller (every compiler the project uses has them; clang 14 lacks std::source_location).
void ReportAbsorbedFailure(const char* file, const char* function, uint32_t line) noexcept;

template <class Body>
void guarded(Body&& body, const char* file = __builtin_FILE(),
             const char* function = __builtin_FUNCTION(),
             uint32_t line = __builtin_LINE()) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    ReportAbsorbedFailure(file, function, line);
  }
}

// The same for a routine with a result: a failure yields fallback.
template <class T, class Body>
T guarded_or(T fallback, Body&& body, const char* file = __builtin_FILE(),
             const char* function = __builtin_FUNCTION(),
             uint32_t line = __builtin_LINE()) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    ReportAbsorbedFailure(file, function, line);
    return fallback;
  }
}
