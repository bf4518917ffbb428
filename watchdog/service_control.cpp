#include "watchdog/service_control.h"

#include <chrono>
#include <memory>

#include "watchdog/supervisor.h"

namespace gandry {

namespace {

constexpr std::size_t kPulseStackReservation = std::size_t{64} * 1024;

}  // namespace

void ServiceControl::Serve() {
  {
    std::lock_guard lock(mutex_);
    status_ = ServiceStatusRecord{};
    status_.accepts = kControlsAccepted;
    status_.wait_hint_ms = kStatusWaitHintMs;
    SetState(ServiceState::kStartPending);
    watchdog_.paused.store(false);
    SetState(ServiceState::kRunning);
  }
  // Without the pulse a stop is still reported; only the check point stays put.
  Result<std::unique_ptr<Thread>> pulse =
      watchdog_.threads.Create([this] { PulseWhileStopping(); }, kPulseStackReservation);
  if (pulse) {
    (*pulse)->Run();
  }
  const int result = Run(watchdog_);
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  ended_.Raise();
  stop_or_end_.Raise();
  if (pulse) {
    (*pulse)->Join();
  }
  // Stopped goes into a copy, never into the record the handler answers from: a report of
  // stopped from the handler would let the dispatcher return while this thread still runs.
  ServiceStatusRecord stopped;
  {
    std::lock_guard lock(mutex_);
    last_report_ = true;
    stopped = status_;
  }
  stopped.check_point = 0;
  stopped.state = ServiceState::kStopped;
  if (result != 0) {
    stopped.service_exit_code = kServiceExitRunFailed;
  }
  // The last thing done: once stopped is reported, the dispatcher may return and free this
  // object.
  reporter_.Report(stopped);
}

void ServiceControl::Control(ServiceRequest request) {
  std::lock_guard lock(mutex_);
  if (last_report_) {
    // Nothing may follow stopped; the request has come too late to matter.
    return;
  }
  switch (request) {
    case ServiceRequest::kShutdown:
      // The system is going down: nothing may be started or restarted from now on, not even
      // by a restart under way.
      watchdog_.shutting_down.store(true);
      watchdog_.paused.store(true);
      [[fallthrough]];
    case ServiceRequest::kStop:
      watchdog_.StopFlag.Raise();
      if (!stopping_ && !finished_) {
        stopping_ = true;
        ReportStopPending();
        stop_or_end_.Raise();
      }
      break;
    case ServiceRequest::kPause:
    case ServiceRequest::kContinue:
      if (stopping_ || finished_) {
        // A stop under way is not undone: the answer is the state as it stands.
        reporter_.Report(status_);
        break;
      }
      if (request == ServiceRequest::kContinue) {
        watchdog_.paused.store(false);
      } else if (!watchdog_.paused.exchange(true)) {
        watchdog_.pause_count.fetch_add(1);  // after the flag: monitors read them the other way
      }
      SetState(request == ServiceRequest::kPause ? ServiceState::kPaused : ServiceState::kRunning);
      break;
    case ServiceRequest::kInterrogate:
      reporter_.Report(status_);
      break;
    case ServiceRequest::kParamChange:
      // Carried out by the supervisor; a stop under way makes it pointless.
      if (!stopping_ && !finished_) {
        watchdog_.reload_requested.store(true);
        watchdog_.SupervisorWake.Raise();
      }
      break;
    case ServiceRequest::kOther:
      break;
  }
}

void ServiceControl::SetState(ServiceState state) {
  status_.state = state;
  reporter_.Report(status_);
}

void ServiceControl::ReportStopPending() {
  ++status_.check_point;
  SetState(ServiceState::kStopPending);
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
