#pragma once
// Where absorbed failures are told: a line for a debugger or a debug-output viewer, which nobody
// sees unless one listens. The programs point the one sink at the system's debug output; tests
// point it at a recorder. Without a sink nothing is told.
#include <string_view>

class DebugOutputPort {
 public:
  virtual ~DebugOutputPort() = default;
  // One line of text; must not throw.
  virtual void Output(std::u16string_view line) noexcept = 0;
};

// Sets the process's one sink (nullptr: none). The caller keeps it alive until it sets another.
void SetDebugOutput(DebugOutputPort* sink) noexcept;

// Hands a line to the sink, if there is one.
void DebugOutput(std::u16string_view line) noexcept;
