#include "watchdog/monitor.h"

#include <stdexcept>

#include "watchdog/format_text.h"
#include "watchdog/zt_utils.h"

namespace gandry {

std::shared_ptr<TSrvManThread> TSrvManThread::Start(Watchdog& watchdog, const std::string& item) {
  const int number = watchdog.RunningMonitors.fetch_add(1) + 1;
  std::shared_ptr<TSrvManThread> monitor(new TSrvManThread(watchdog, item, number));
  watchdog.log.LogLine(
      FormatText("start thread #%d of [%s]", number, monitor->service_name_.c_str()), false);
  Result<std::unique_ptr<Thread>> thread =
      watchdog.threads.Create([monitor] { monitor->Execute(); }, kMonitorStackReservation);
  if (!thread) {
    watchdog.RunningMonitors.fetch_sub(1);
    throw std::runtime_error("cannot create a monitor thread");
  }
  thread.value()->Run();
  return monitor;
}

TSrvManThread::TSrvManThread(Watchdog& watchdog, const std::string& item, int thread_number)
    : watchdog_(watchdog),
      service_name_(ExtractField(item, 1, '|')),
      attempt_limit_(ParseIntLoose(ExtractField(item, 3, '|'))),
      restart_period_(ParseIntLoose(ExtractField(item, 4, '|'))),
      thread_number_(thread_number) {}

void TSrvManThread::Execute() {
  try {
    Watch();
  } catch (...) {
    // An error ends the monitor; the end handling below still keeps the count right.
  }
  EndHandling();
}

void TSrvManThread::Watch() {
  // A request that came before the thread ran skips the work entirely.
  if (Terminated()) {
    return;
  }
  Clock& clock = watchdog_.clock;
  if (clock.Sleep(std::chrono::milliseconds(watchdog_.settings.start_delay_thread_ms),
                  &terminated_)) {
    return;
  }
  int remaining = attempt_limit_;
  double next_restart = AddMinutes(restart_period_, clock.Now());
  do {
    RestartIfDue(next_restart);
    if (Terminated() || Pause()) {
      break;
    }
    StartIfStopped(remaining);
    if (Pause()) {
      break;
    }
  } while (!Terminated());
}

void TSrvManThread::RestartIfDue(double& next_restart) {
  if (restart_period_ == 0 || watchdog_.paused.load() || watchdog_.clock.Now() < next_restart) {
    return;
  }
  const int state = QueryState(watchdog_.services, service_name_);
  if (state != kStateRunning && state != kStateStopped) {
    return;
  }
  // Once the service has been asked to stop, it is started again even when the monitor is
  // asked to end meanwhile: the watchdog must never leave a service stopped that was running.
  // Both waits are bounded on their own.
  StopAndWait(watchdog_.services, watchdog_.clock, service_name_, nullptr);
  if (!StartAndWait(watchdog_.services, watchdog_.clock, service_name_, nullptr)) {
    return;
  }
  // Counted from the previous scheduled time, so an overdue schedule catches up one restart
  // per pass.
  next_restart = AddMinutes(restart_period_, next_restart);
  watchdog_.log.LogLine(
      FormatText("Service [%s] successfully restarted. Next restart at %s.", service_name_.c_str(),
                 watchdog_.log.Format(next_restart).c_str()),
      true);
}

void TSrvManThread::StartIfStopped(int& remaining) {
  if (attempt_limit_ <= 0 || watchdog_.paused.load() ||
      QueryState(watchdog_.services, service_name_) != kStateStopped) {
    return;
  }
  if (remaining <= 0) {
    watchdog_.log.LogLine(FormatText("Attempts (%d) to start service [%s] is expired.",
                                     attempt_limit_, service_name_.c_str()),
                          true);
    return;
  }
  if (StartAndWait(watchdog_.services, watchdog_.clock, service_name_, &terminated_)) {
    remaining = attempt_limit_;
    watchdog_.log.LogLine(FormatText("Service [%s] successfully started by %d attempt(s).",
                                     service_name_.c_str(), attempt_limit_),
                          true);
  } else {
    --remaining;
  }
}

bool TSrvManThread::Pause() {
  return watchdog_.clock.Sleep(std::chrono::milliseconds(watchdog_.settings.loop_delay_thread_ms),
                               &terminated_) ||
         Terminated();
}

void TSrvManThread::EndHandling() {
  try {
    watchdog_.log.LogLine(FormatText("stopping thread #%d", thread_number_), false);
  } catch (...) {
    // A lost line must not keep the count from going down.
  }
  // Decrement and test in one step, so exactly one ending monitor sees the count reach zero.
  if (watchdog_.RunningMonitors.fetch_sub(1) - 1 < 1) {
    watchdog_.StopFlag.Raise();
  }
  ended_.Raise();
}

}  // namespace gandry
