#pragma once

#include <cstdint>
#include <mutex>

#include "common/waitable_flag.h"
#include "platform/service_status.h"
#include "watchdog/watchdog.h"

namespace gandry {

inline constexpr char kServiceName[] = "zt-gandry-demon";

inline constexpr std::uint32_t kServiceOwnProcess = 0x10;
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServicePaused = 7;

inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlPause = 2;
inline constexpr std::uint32_t kControlContinue = 3;
inline constexpr std::uint32_t kControlInterrogate = 4;
inline constexpr std::uint32_t kControlShutdown = 5;

// Stop, pause and continue (3), plus shutdown notifications (4).
inline constexpr std::uint32_t kControlsAccepted = 0x3 | 0x4;
inline constexpr std::uint32_t kStatusWaitHintMs = 1000;

// A run that ended through an error stops with these, so that the service manager's recovery
// actions can act on it (with the failure-actions flag set).
inline constexpr std::uint32_t kWin32ServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR
inline constexpr std::uint32_t kServiceExitRunFailed = 1;

// The watchdog's side of the service manager's contract: the body of the service entry and
// the control handler, reporting through `reporter`.
class ServiceControl {
 public:
  ServiceControl(Watchdog& watchdog, ServiceStatusReporter& reporter)
      : watchdog_(watchdog), reporter_(reporter) {}

  // Reports start pending and running, runs the supervisor, and reports stopped. While a stop
  // is pending it reports stop pending again every half wait hint with a check point moved on.
  void Serve();

  // Handles one control request; returns at once.
  void Control(std::uint32_t control);

  // The record as last reported.
  ServiceStatusRecord Status();

 private:
  void SetState(std::uint32_t state);  // caller holds mutex_
  void ReportStopPending();            // caller holds mutex_
  void PulseWhileStopping();

  Watchdog& watchdog_;
  ServiceStatusReporter& reporter_;
  std::mutex mutex_;
  ServiceStatusRecord status_;
  bool stopping_ = false;
  bool finished_ = false;
  WaitableFlag stop_or_end_;  // wakes the pulse
  WaitableFlag ended_;        // the run is over
};

}  // namespace gandry
