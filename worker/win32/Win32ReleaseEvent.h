#pragma once
#include "worker/WorkerPorts.h"

// The entry goes to the Application log under the service's source, whose message file (the
// service program) holds the text of ReleaseMeasuredEvent.
class Win32ReleaseEvent : public ReleaseEventPort {
 public:
  void ReportMeasuredRelease(std::span<const uint32_t> figures) override;
};

// The entry's event id (resources/NimbelloServiceMessages.mc).
inline constexpr uint32_t ReleaseMeasuredEvent = 1001;
