#pragma once

#include <cstdint>
#include <mutex>

#include "common/product_names.h"
#include "platform/service_host.h"
#include "platform/service_status.h"
#include "platform/waitable_flag.h"
#include "watchdog/watchdog.h"

namespace gandry {

inline constexpr AcceptedControls kControlsAccepted{
    .stop = true, .pause_continue = true, .shutdown = true, .param_change = true};
inline constexpr std::uint32_t kStatusWaitHintMs = 1000;

// A run that ended through an error stops with this exit code of the service's own, so that
// the service manager's recovery actions can act on it (with the failure-actions flag set).
inline constexpr std::uint32_t kServiceExitRunFailed = 1;

// The watchdog's side of the service manager's contract: the body of the service entry and
// the control handler, reporting through `reporter`.
class ServiceControl final : public ServiceHandler {
 public:
  ServiceControl(Watchdog& watchdog, ServiceStatusReporter& reporter)
      : watchdog_(watchdog), reporter_(reporter) {}

  // Reports start pending and running, runs the supervisor, and reports stopped. While a stop
  // is pending it reports stop pending again every half wait hint with a check point moved on.
  void Serve() override;

  // Handles one control request; returns at once. Reports nothing once Serve has begun its
  // report of stopped.
  void Control(ServiceRequest request) override;

 private:
  void SetState(ServiceState state);  // caller holds mutex_
  void ReportStopPending();           // caller holds mutex_
  void PulseWhileStopping();

  Watchdog& watchdog_;
  ServiceStatusReporter& reporter_;
  std::mutex mutex_;
  ServiceStatusRecord status_;
  bool stopping_ = false;
  bool finished_ = false;
  bool last_report_ = false;  // Serve reports stopped: nothing more may be reported
  WaitableFlag stop_or_end_;  // wakes the pulse
  WaitableFlag ended_;        // the run is over
};

}  // namespace gandry
