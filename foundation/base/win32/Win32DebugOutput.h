#pragma once
// The debug output of the system (OutputDebugStringW): seen only by a debugger or a viewer that
// listens.
#include "foundation/base/DebugOutput.h"

class Win32DebugOutput : public DebugOutputPort {
 public:
  void Output(std::u16string_view line) noexcept override;
};

// Points the process's sink at the system's debug output for the life of this object.
class ScopedWin32DebugOutput {
 public:
  ScopedWin32DebugOutput() { SetDebugOutput(&output_); }
  ~ScopedWin32DebugOutput() { SetDebugOutput(nullptr); }
  ScopedWin32DebugOutput(const ScopedWin32DebugOutput&) = delete;
  ScopedWin32DebugOutput& operator=(const ScopedWin32DebugOutput&) = delete;

 private:
  Win32DebugOutput output_;
};
