#pragma once
// The states a service moves through and the status record that reports them to the Service
// Control Manager, with the values Windows gives them.
#include <cstdint>

enum class TCurrentStatus : uint32_t {
  csStopped = 1,          // SERVICE_STOPPED
  csStartPending = 2,     // SERVICE_START_PENDING
  csStopPending = 3,      // SERVICE_STOP_PENDING
  csRunning = 4,          // SERVICE_RUNNING
  csContinuePending = 5,  // SERVICE_CONTINUE_PENDING
  csPausePending = 6,     // SERVICE_PAUSE_PENDING
  csPaused = 7,           // SERVICE_PAUSED
};

constexpr bool IsPending(TCurrentStatus status) {
  return status == TCurrentStatus::csStartPending || status == TCurrentStatus::csStopPending ||
         status == TCurrentStatus::csContinuePending || status == TCurrentStatus::csPausePending;
}

enum class TServiceType { stWin32, stDevice, stFileSystem };
enum class TStartType { stBoot, stSystem, stAuto, stManual, stDisabled };
enum class TErrorSeverity { esIgnore, esNormal, esSevere, esCritical };

// SERVICE_STATUS, field for field.
struct ServiceStatusRecord {
  uint32_t serviceType = 0;
  uint32_t currentState = 0;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceSpecificExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;
  bool operator==(const ServiceStatusRecord&) const = default;
};

namespace ServiceControl {
inline constexpr uint32_t Stop = 1;
inline constexpr uint32_t Pause = 2;
inline constexpr uint32_t Continue = 3;
inline constexpr uint32_t Interrogate = 4;
inline constexpr uint32_t Shutdown = 5;
}  // namespace ServiceControl

namespace ServiceAccept {
inline constexpr uint32_t Stop = 0x1;
inline constexpr uint32_t PauseContinue = 0x2;
inline constexpr uint32_t Shutdown = 0x4;
}  // namespace ServiceAccept

namespace ServiceCodes {
inline constexpr uint32_t Win32OwnProcess = 0x10;
inline constexpr uint32_t Win32ShareProcess = 0x20;
inline constexpr uint32_t KernelDriver = 0x1;
inline constexpr uint32_t FileSystemDriver = 0x2;
inline constexpr uint32_t InteractiveProcess = 0x100;
inline constexpr uint32_t ServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR
// DELETE: all that the handle of a new service is used for (taking back a failed install).
inline constexpr uint32_t ServiceDeleteAccess = 0x10000;
}  // namespace ServiceCodes

// The thread message that carries a control code from the control handler to the service thread
// (WM_USER + 1).
inline constexpr uint32_t ServiceControlMessage = 1025;
