#pragma once
// What the service checks before it starts the workers of a due release. With ExecutePeriod 0 and
// MemoryMaintain 99, values any user may write, a release is due on every tick; each would start a
// SYSTEM process per 1024 MB that ends at once, cooling down or handing on. So no worker starts
// while the service's own previous request, or the last run's end (LastRelease Time), is less than
// the cool-down old. And since the workers run as SYSTEM from the program folder, no worker starts
// while that folder, a folder above it, the worker or the service's own file is not the
// administrators' alone; each kind of refusal is logged once while it lasts.
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/ClockPort.h"
#include "foundation/RegistryPort.h"
#include "service/EventLogPort.h"
#include "service/ProgramFolderAccess.h"
#include "service/ReleasePolicy.h"

class UtcClockPort {
 public:
  virtual ~UtcClockPort() = default;
  virtual uint64_t UtcFileTime() = 0;  // now, FILETIME ticks
};

struct ReleaseStartPorts {
  FolderSecurityPort& folders;
  RegistryPort& registry;  // LastRelease
  ClockPort& clock;        // the steady count for the service's own requests
  UtcClockPort& utc;
  EventLogPort& log;
};

class ReleaseStartRule : public ReleaseStartGate {
 public:
  // folder with its trailing delimiter; serviceFile the service's own program.
  ReleaseStartRule(const ReleaseStartPorts& ports, std::u16string folder,
                   std::u16string serviceFile);
  bool MayStart() override;

 private:
  const ReleaseStartPorts ports_;
  const std::u16string folder_, serviceFile_;
  std::optional<uint64_t> lastStart_;  // TickCount64 of the last request allowed
  uint8_t logged_ = 0;                 // kinds of FolderRefusal logged since the folder last passed
};

// The entry's text for a refusal of that kind; "%s" in the texts stands for the folder.
std::u16string FolderRefusalText(FolderRefusal refusal, std::u16string_view folder);
