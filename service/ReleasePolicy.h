#pragma once
// The service's once-a-second tick: the update stamp, then, once the service has been started,
// the decision whether the machine is short of memory and whether now is a good moment to free
// some, and the release request when it is.
#include <atomic>
#include <cstdint>

#include "foundation/CPU.h"
#include "foundation/ClockPort.h"
#include "foundation/CustomRegistry.h"
#include "foundation/LauncherPort.h"
#include "foundation/ProcessorInfoPort.h"
#include "foundation/SystemInfoPort.h"

// What the policy keeps between ticks, for the life of the service process. One object, owned by
// the service program; nothing of it is global.
struct ReleasePolicyState {
  // False until the service has received its start request. Written by the service thread's
  // start handler and read by the tick on another thread, without a lock.
  std::atomic<bool> started{false};

  // Seconds since Windows started at the last automatic release, on the scale of the uptime;
  // 0 before the first. Set only when a release is issued; pause and continue leave it alone.
  int32_t lastReleaseTime = 0;

  // The processor sampler's previous sample; advanced only on ticks that reach the processor rule.
  ProcessorSample processorSample;
};

// Asked once a release is due, just before its workers would start. The decision stays the
// tick's (ExecutePeriod 0 still makes one due on every tick); the gate only leaves out starts that
// would end at once or would run a program that others could have changed.
class ReleaseStartGate {
 public:
  virtual ~ReleaseStartGate() = default;
  // True when the request's workers may start now; a start allowed counts as this request's.
  virtual bool MayStart() = 0;
};

// Where a tick meets the world. The service program wires these to its adapters.
struct ReleasePolicyPorts {
  const CustomRegistry& settings;
  SystemInfoPort& system;
  LauncherPort& launcher;
  ClockPort& clock;
  ProcessorInfoPort& processors;
  // The service's start rule; without one every due release starts its workers.
  ReleaseStartGate* startGate = nullptr;
};

// One tick of the service module's timer (every 1000 ms). No failure escapes: a failing step ends
// the tick quietly and the state is left as far as the tick had come.
void MainTimerTimer(ReleasePolicyState& state, const ReleasePolicyPorts& ports) noexcept;
