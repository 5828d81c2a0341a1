#pragma once
// One source of the Windows Application event log. The source is registered on first use and
// released when the writer is destroyed.
#include <string_view>

class EventLogPort {
 public:
  virtual ~EventLogPort() = default;
  // An error entry, category 0, event identifier 0, with the text as its one insertion string.
  // Never fails to the caller.
  virtual void LogError(std::u16string_view text) = 0;
};
