#include "watchdog/service_control.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "watchdog/supervisor.h"

namespace gandry {

void ServiceControl::Serve() {
  {
    std::lock_guard lock(mutex_);
    status_ = ServiceStatusRecord{};
    status_.service_type = kServiceOwnProcess;
    status_.controls_accepted = kControlsAccepted;
    status_.wait_hint_ms = kStatusWaitHintMs;
    SetState(kServiceStartPending);
    watchdog_.paused.store(false);
    SetState(kServiceRunning);
  }
  std::thread pulse;
  try {
    pulse = std::thread([this] { PulseWhileStopping(); });
  } catch (const std::system_error&) {
    // Without the pulse a stop is still reported; only the check point stays put.
  }
  const int result = Run(watchdog_);
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  ended_.Raise();
  stop_or_end_.Raise();
  if (pulse.joinable()) {
    pulse.join();
  }
  ServiceStatusRecord stopped;
  {
    std::lock_guard lock(mutex_);
    status_.check_point = 0;
    status_.current_state = kServiceStopped;
    if (result != 0) {
      status_.win32_exit_code = kWin32ServiceSpecificError;
      status_.service_exit_code = kServiceExitRunFailed;
    }
    stopped = status_;
  }
  // The last thing done, on a copy: once stopped is reported, the dispatcher may return and
  // free this object.
  reporter_.Report(stopped);
}

void ServiceControl::Control(std::uint32_t control) {
  std::lock_guard lock(mutex_);
  switch (control) {
    case kControlShutdown:
      // The system is going down: nothing may be started or restarted from now on.
      watchdog_.paused.store(true);
      [[fallthrough]];
    case kControlStop:
      watchdog_.StopFlag.Raise();
      if (!stopping_ && !finished_) {
        stopping_ = true;
        ReportStopPending();
        stop_or_end_.Raise();
      }
      break;
    case kControlPause:
    case kControlContinue:
      if (stopping_ || finished_) {
        // A stop under way is not undone: the answer is the state as it stands.
        reporter_.Report(status_);
        break;
      }
      if (control == kControlContinue) {
        watchdog_.paused.store(false);
      } else if (!watchdog_.paused.exchange(true)) {
        watchdog_.pause_count.fetch_add(1);  // after the flag: monitors read them the other way
      }
      SetState(control == kControlPause ? kServicePaused : kServiceRunning);
      break;
    case kControlInterrogate:
      reporter_.Report(status_);
      break;
    default:
      break;
  }
}

ServiceStatusRecord ServiceControl::Status() {
  std::lock_guard lock(mutex_);
  return status_;
}

void ServiceControl::SetState(std::uint32_t state) {
  status_.current_state = state;
  reporter_.Report(status_);
}

void ServiceControl::ReportStopPending() {
  ++status_.check_point;
  SetState(kServiceStopPending);
}

// The service manager takes a service for hung when a pending state shows no progress within
// its wait hint, so the check point moves on while the supervisor winds down.
void ServiceControl::PulseWhileStopping() {
  Clock& clock = watchdog_.clock;
  clock.SleepUntil(stop_or_end_);
  const std::chrono::milliseconds interval(kStatusWaitHintMs / 2);
  while (!clock.Sleep(interval, &ended_)) {
    std::lock_guard lock(mutex_);
    if (finished_) {
      break;
    }
    ReportStopPending();
  }
}

}  // namespace gandry
