#include "watchdog/monitor.h"

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/date_time.h"
#include "watchdog/event_kind.h"
#include "watchdog/format_text.h"
#include "watchdog/restart_service.h"
#include "watchdog/zt_utils.h"

namespace gandry {

namespace {

constexpr std::int64_t kMsPerMinute = 60'000;
constexpr double kMsPerDay = 86'400'000.0;

}  // namespace

Result<std::shared_ptr<TSrvManThread>> TSrvManThread::Start(
    Watchdog& watchdog, const std::string& item, MonitorOrigin origin,
    std::optional<HealthCheck> health_check) {
  // Monitors that ended before, or that a reload ends, must not lend their numbers to new
  // ones: the log tells monitors apart by them.
  const int count = watchdog.RunningMonitors.fetch_add(1) + 1;
  const int number = std::max(count, watchdog.last_thread_number.load() + 1);
  std::shared_ptr<TSrvManThread> monitor(
      new TSrvManThread(watchdog, item, number, origin, std::move(health_check)));
  Result<std::unique_ptr<Thread>> thread =
      watchdog.threads.Create([monitor] { monitor->Execute(); }, kMonitorStackReservation);
  if (!thread) {
    watchdog.RunningMonitors.fetch_sub(1);
    return thread.error();
  }
  watchdog.last_thread_number.store(number);
  monitor->live_id_ =
      watchdog.live.Add(item, monitor->service_name_, std::max(monitor->attempt_limit_, 0));
  // Logged while the thread waits, so the announcement always comes before its own lines.
  watchdog.log.LogLine(
      FormatText("start thread #%d of [%s]", number, monitor->service_name_.c_str()), false);
  thread.value()->Run();
  return monitor;
}

TSrvManThread::TSrvManThread(Watchdog& watchdog, const std::string& item, int thread_number,
                             MonitorOrigin origin, std::optional<HealthCheck> health_check)
    : TSrvManThread(watchdog, item, ReadWatchItem(item), thread_number, origin,
                    std::move(health_check)) {}

TSrvManThread::TSrvManThread(Watchdog& watchdog, const std::string& item, WatchItem watched,
                             int thread_number, MonitorOrigin origin,
                             std::optional<HealthCheck> health_check)
    : watchdog_(watchdog),
      item_(item),
      service_name_(std::move(watched.service)),
      attempt_limit_(watched.attempts),
      restart_period_(watched.period_minutes),
      thread_number_(thread_number),
      origin_(origin),
      health_check_(std::move(health_check)) {
  health_.spacing_ms = BaseHealthSpacingMs();
}

void TSrvManThread::Execute() {
  bool failed = false;
  try {
    Watch();
  } catch (...) {
    // An error ends the monitor; the end handling below still keeps the count right.
    failed = true;
  }
  // No report may reach a monitor that is gone.
  watch_.reset();
  EndHandling(failed);
}

void TSrvManThread::Watch() {
  // A request that came before the thread ran skips the work entirely.
  if (Terminated()) {
    return;
  }
  Clock& clock = watchdog_.clock;
  if (origin_ == MonitorOrigin::kRunStart &&
      clock.Sleep(std::chrono::milliseconds(watchdog_.settings.start_delay_thread_ms.load()),
                  &terminated_)) {
    return;
  }
  int remaining = attempt_limit_;
  Schedule schedule;
  schedule.next_ms = clock.TickMs() + std::int64_t{restart_period_} * kMsPerMinute;
  schedule.pauses_seen = watchdog_.pause_count.load();
  health_.next_check_ms = clock.TickMs();
  if (restart_period_ > 0) {
    UpdateLive([&](LiveItem& live) { live.next_restart = UnixSeconds(schedule.next_ms); });
  }
  do {
    RestartIfDue(schedule);
    if (Terminated()) {
      break;
    }
    PauseEnd end = Pause();
    if (end == PauseEnd::kTerminated) {
      break;
    }
    if (end == PauseEnd::kStopReported) {
      StartAfterReportedStop(remaining);
    } else {
      StartIfStopped(remaining);
    }
    // A stop reported in the pause before the restart check is handled at once as well; the
    // check follows a full pause after that.
    while ((end = Pause()) == PauseEnd::kStopReported) {
      StartAfterReportedStop(remaining);
    }
    if (end == PauseEnd::kTerminated) {
      break;
    }
  } while (!Terminated());
}

void TSrvManThread::RestartIfDue(Schedule& schedule) {
  // The count before the flag: a pause is counted only once the flag is raised, so a count
  // read here as new belongs to a pause that this monitor sees either as under way or as over.
  const std::uint32_t pauses = watchdog_.pause_count.load();
  if (restart_period_ == 0 || watchdog_.paused.load()) {
    return;
  }
  Clock& clock = watchdog_.clock;
  if (pauses != schedule.pauses_seen) {
    schedule.pauses_seen = pauses;
    schedule.after_pause = true;
  }
  const std::int64_t now = clock.TickMs();
  if (now < schedule.next_ms) {
    schedule.after_pause = false;
    return;
  }
  // Announced before the terminate request is looked at; the supervisor reads them the other
  // way round, so either this monitor sees the request or the supervisor sees the restart.
  in_restart_.store(true);
  const bool restarted = !Terminated() && Restart(StartReason::kScheduled);
  in_restart_.store(false);
  // The stop this restart made is no reason to start the service.
  stop_reported_.store(false);
  if (!restarted) {
    return;
  }
  refusal_logged_ = 0;
  scheduled_restarts_.fetch_add(1);
  NoteStarted();
  const std::int64_t period_ms = std::int64_t{restart_period_} * kMsPerMinute;
  if (schedule.after_pause && period_ms > 0) {
    // Restarts that fell due while paused were made by this one; the schedule goes on from
    // its first time after now, on the same grid.
    schedule.next_ms += ((now - schedule.next_ms) / period_ms + 1) * period_ms;
  } else {
    // Counted from the previous scheduled time, so an overdue schedule catches up one restart
    // per pass.
    schedule.next_ms += period_ms;
  }
  schedule.after_pause = false;
  UpdateLive([&](LiveItem& live) { live.next_restart = UnixSeconds(schedule.next_ms); });
  const double next_local =
      LocalNow(clock) + static_cast<double>(schedule.next_ms - clock.TickMs()) / kMsPerDay;
  watchdog_.log.LogEvent(
      EventKind::kServiceRestarted,
      FormatText("Service [%s] successfully restarted. Next restart at %s.", service_name_.c_str(),
                 watchdog_.log.Format(next_local).c_str()));
}

bool TSrvManThread::Restart(StartReason reason) {
  const Result<ServiceStatus> found = LookStatus();
  const ServiceState state = found ? found->state : ServiceState::kUnknown;
  std::vector<std::string> dependents;
  if (state == ServiceState::kRunning || state == ServiceState::kStopped) {
    // Once the service has been asked to stop, it is started again even when the monitor is
    // asked to end meanwhile: the watchdog must never leave a service stopped that was
    // running. Only a shutdown of the system, which stops every service anyway, lets the stop
    // be the last word. Every wait is bounded on its own.
    StoppedDependents stopped = StopDependents(watchdog_, service_name_, dependent_hangs_);
    dependents = std::move(stopped.stopped);
    std::uint32_t refusal = stopped.refusal;
    if (!stopped.complete || !StopForRestart(watchdog_, service_name_, hang_, refusal)) {
      if (refusal != 0) {
        NoteRefusedStop(stopped.complete ? service_name_ : stopped.refused_by, refusal);
      }
      StartDependentsAgain(watchdog_, service_name_, dependents);
      return false;
    }
  } else if (!found || !EndIfHung(*found)) {
    return false;
  }
  if (watchdog_.shutting_down.load()) {
    return false;
  }
  const bool started = StartFor(reason, nullptr);
  StartDependentsAgain(watchdog_, service_name_, dependents);
  return started;
}

void TSrvManThread::NoteRefusedStop(const std::string& name, std::uint32_t error) {
  if (error == refusal_logged_) {
    return;
  }
  refusal_logged_ = error;
  watchdog_.log.LogEvent(
      EventKind::kRestartRefused,
      FormatText("Service [%s] was not restarted: its stop was refused (error %u).", name.c_str(),
                 error));
}

bool TSrvManThread::EndIfHung(const ServiceStatus& status) {
  return hang_.Stalled(status, watchdog_.clock.TickMs()) &&
         EndHungService(watchdog_, service_name_, status, hang_);
}

void TSrvManThread::StartIfStopped(int& remaining) {
  if (attempt_limit_ <= 0 || watchdog_.paused.load()) {
    return;
  }
  // A service that hangs in a pending state and whose process was ended counts as stopped.
  const Result<ServiceStatus> status = LookStatus();
  if (!status || (status->state != ServiceState::kStopped && !EndIfHung(*status))) {
    return;
  }
  if (remaining <= 0) {
    watchdog_.log.LogEvent(EventKind::kAttemptsExpired,
                           FormatText("Attempts (%d) to start service [%s] is expired.",
                                      attempt_limit_, service_name_.c_str()));
    return;
  }
  if (StartFor(StartReason::kStopped, &terminated_)) {
    remaining = attempt_limit_;
    NoteStarted();
    watchdog_.log.LogEvent(EventKind::kServiceStarted,
                           FormatText("Service [%s] successfully started by %d attempt(s).",
                                      service_name_.c_str(), attempt_limit_));
  } else {
    --remaining;
  }
  UpdateLive([&](LiveItem& live) { live.attempts_left = std::max(remaining, 0); });
}

void TSrvManThread::StartAfterReportedStop(int& remaining) {
  // A report may come late, after the service was started again by anyone.
  if (watchdog_.paused.load() || Look() != ServiceState::kStopped) {
    return;
  }
  // A service that dies soon after each start is started again ever later, so that a crash
  // loop does not become a start loop; one that stayed up a while is started at once.
  if (started_before_) {
    Clock& clock = watchdog_.clock;
    const std::int64_t since = clock.TickMs() - last_start_ms_;
    const std::int64_t loop_ms = watchdog_.settings.loop_delay_thread_ms.load();
    std::int64_t wait_ms = 0;
    if (since < loop_ms) {
      wait_ms = triggered_spacing_ms_ - since;
      triggered_spacing_ms_ = std::min(triggered_spacing_ms_ * 2, loop_ms);
    } else {
      triggered_spacing_ms_ = kMinTriggeredSpacingMs;
    }
    if (wait_ms > 0 &&
        (clock.Sleep(std::chrono::milliseconds(wait_ms), &terminated_) || Terminated())) {
      return;
    }
  }
  StartIfStopped(remaining);
}

void TSrvManThread::NoteStartRequest() {
  last_start_ms_ = watchdog_.clock.TickMs();
  started_before_ = true;
}

void TSrvManThread::NoteStarted() {
  if (!health_check_) {
    return;
  }
  health_.running_seen = true;
  health_.started_ms = watchdog_.clock.TickMs();
  health_.next_check_ms = health_.started_ms + std::int64_t{health_check_->grace_seconds} * 1000;
}

std::int64_t TSrvManThread::BaseHealthSpacingMs() const {
  if (!health_check_) {
    return 0;
  }
  return (std::int64_t{health_check_->grace_seconds} +
          std::int64_t{health_check_->failures} * health_check_->interval_seconds) *
         1000;
}

void TSrvManThread::CheckHealth() {
  const HealthCheck& check = *health_check_;
  Clock& clock = watchdog_.clock;
  const std::int64_t now = clock.TickMs();
  health_.next_check_ms = now + std::int64_t{check.interval_seconds} * 1000;
  if (watchdog_.paused.load()) {
    return;
  }
  // A service that is not running is the attempts' business; its next start brings a new
  // grace and a new count.
  if (Look() != ServiceState::kRunning) {
    health_.running_seen = false;
    NoteFailedChecks(0);
    return;
  }
  if (!health_.running_seen) {
    health_.running_seen = true;
    health_.started_ms = now;
  }
  const std::int64_t grace_end = health_.started_ms + std::int64_t{check.grace_seconds} * 1000;
  if (now < grace_end) {
    health_.next_check_ms = grace_end;
    return;
  }
  // The terminate request cuts a check short, so a stop never waits for a slow one.
  const ProbeOutcome outcome =
      watchdog_.probe.Run(check.target, std::chrono::seconds(check.timeout_seconds), terminated_);
  if (outcome.failure == ProbeFailure::kCancelled) {
    return;
  }
  if (outcome.healthy()) {
    NoteFailedChecks(0);
    health_.spacing_ms = BaseHealthSpacingMs();
    return;
  }
  const int failures = failed_checks_.load() + 1;
  NoteFailedChecks(failures);
  watchdog_.log.LogLine(
      FormatText("Health check of [%s] failed (%d of %d): %s.", service_name_.c_str(), failures,
                 check.failures, DescribeProbeFailure(outcome).c_str()),
      false);
  // A pause that began during the check leaves the service alone as well.
  if (failures < check.failures || watchdog_.paused.load() ||
      (health_.restarted_before && clock.TickMs() - health_.last_restart_ms < health_.spacing_ms)) {
    return;
  }
  RestartForHealth(failures);
}

void TSrvManThread::RestartForHealth(int failures) {
  // A monitor on its way out announces no restart.
  if (Terminated()) {
    return;
  }
  watchdog_.log.LogEvent(EventKind::kHealthRestart,
                         FormatText("Service [%s] failed %d health checks in a row; restarting it.",
                                    service_name_.c_str(), failures));
  // As for a scheduled restart: announced before the terminate request is looked at.
  in_restart_.store(true);
  const bool restarted = !Terminated() && Restart(StartReason::kHealth);
  in_restart_.store(false);
  stop_reported_.store(false);
  NoteFailedChecks(0);
  // Each restart that no passing check follows holds the next one off twice as long.
  health_.restarted_before = true;
  health_.last_restart_ms = watchdog_.clock.TickMs();
  health_.spacing_ms =
      std::max(BaseHealthSpacingMs(), std::min(health_.spacing_ms * 2, kMaxHealthSpacingMs));
  if (!restarted) {
    // Stopped now, or still running after a refused stop: the next look decides.
    health_.running_seen = false;
    return;
  }
  refusal_logged_ = 0;
  health_restarts_.fetch_add(1);
  NoteStarted();
  watchdog_.log.LogEvent(
      EventKind::kHealthRestarted,
      FormatText("Service [%s] successfully restarted after failed health checks.",
                 service_name_.c_str()));
}

bool TSrvManThread::StartFor(StartReason reason, const WaitableFlag* cancel) {
  NoteStartRequest();
  const bool started = StartAndWait(watchdog_.services, watchdog_.clock, service_name_, cancel);
  // A start given up for a terminate request is no failure of the service.
  if (!started && Terminated()) {
    return false;
  }
  const std::int64_t now = watchdog_.clock.UnixTimeMs() / 1000;
  UpdateLive([&](LiveItem& live) {
    if (started) {
      ++live.starts[static_cast<std::size_t>(reason)];
      live.last_start = now;
      live.state = static_cast<std::uint8_t>(ServiceState::kRunning);
    } else {
      ++live.start_failures;
    }
  });
  return started;
}

void TSrvManThread::NoteFailedChecks(int failures) {
  failed_checks_.store(failures);
  UpdateLive([failures](LiveItem& live) { live.health_failures = failures; });
}

ServiceState TSrvManThread::Look() {
  const Result<ServiceStatus> status = LookStatus();
  return status ? status->state : ServiceState::kUnknown;
}

Result<ServiceStatus> TSrvManThread::LookStatus() {
  Result<ServiceStatus> status = QueryStatus(watchdog_.services, service_name_);
  const ServiceState state = status ? status->state : ServiceState::kUnknown;
  UpdateLive([state](LiveItem& live) { live.state = static_cast<std::uint8_t>(state); });
  return status;
}

std::int64_t TSrvManThread::UnixSeconds(std::int64_t tick_ms) {
  Clock& clock = watchdog_.clock;
  return (clock.UnixTimeMs() + (tick_ms - clock.TickMs())) / 1000;
}

TSrvManThread::PauseEnd TSrvManThread::Pause() {
  UpdateWatch();
  Clock& clock = watchdog_.clock;
  const std::int64_t end = clock.TickMs() + watchdog_.settings.loop_delay_thread_ms.load();
  for (;;) {
    // Lowered before looking, so a report or request after the look cuts the sleep short.
    wake_.Lower();
    if (Terminated()) {
      return PauseEnd::kTerminated;
    }
    if (deleted_.load() || watch_failed_.load()) {
      UpdateWatch();
    }
    // While the watchdog is paused a reported stop is dropped; the next pass sees the state.
    if (stop_reported_.exchange(false) && !watchdog_.paused.load()) {
      return PauseEnd::kStopReported;
    }
    if (health_check_ && clock.TickMs() >= health_.next_check_ms) {
      CheckHealth();
      continue;
    }
    const std::int64_t now = clock.TickMs();
    const std::int64_t left = end - now;
    if (left <= 0) {
      return PauseEnd::kElapsed;
    }
    // A health check that falls due within the pause wakes it.
    const std::int64_t sleep_ms =
        health_check_ ? std::min(left, health_.next_check_ms - now) : left;
    clock.Sleep(std::chrono::milliseconds(sleep_ms), &wake_);
  }
}

void TSrvManThread::UpdateWatch() {
  if (deleted_.exchange(false)) {
    watch_.reset();
    watch_given_up_ = true;
    watchdog_.log.LogEvent(
        EventKind::kDeletedPolled,
        FormatText("Service [%s] was deleted; it is polled from now on.", service_name_.c_str()));
  }
  if (watch_failed_.exchange(false)) {
    watch_.reset();
    GiveUpWatch(watch_error_.load());
  }
  // With no attempts there is nothing a report could start.
  const bool wanted = watchdog_.settings.notify.load() && attempt_limit_ > 0 && !watch_given_up_;
  if (!wanted) {
    watch_.reset();
    stop_reported_.store(false);
    return;
  }
  if (watch_ != nullptr) {
    return;
  }
  Result<std::unique_ptr<ServiceWatch>> watch = watchdog_.services.Watch(
      service_name_, [this](const ServiceNotice& notice) { OnServiceEvent(notice); });
  if (!watch) {
    GiveUpWatch(watch.error().code);
    return;
  }
  watch_ = std::move(*watch);
}

void TSrvManThread::GiveUpWatch(std::uint32_t error) {
  watch_given_up_ = true;
  watchdog_.log.LogEvent(EventKind::kNotWatched,
                         FormatText("Service [%s] cannot be watched (error %u); it is polled.",
                                    service_name_.c_str(), error));
}

// On the platform's thread: only notes the event and wakes the monitor.
void TSrvManThread::OnServiceEvent(const ServiceNotice& notice) {
  switch (notice.event) {
    case ServiceEvent::kDeleted:
      deleted_.store(true);
      break;
    case ServiceEvent::kWatchFailed:
      watch_error_.store(notice.error);
      watch_failed_.store(true);
      break;
    case ServiceEvent::kStopped:
      if (!in_restart_.load()) {
        stop_reported_.store(true);
      }
      break;
  }
  wake_.Raise();
}

void TSrvManThread::EndHandling(bool failed) {
  try {
    watchdog_.log.LogLine(FormatText("stopping thread #%d", thread_number_), false);
  } catch (...) {
    // A lost line must not keep the count from going down.
  }
  watchdog_.live.Remove(live_id_);
  // Decrement and test in one step, so exactly one ending monitor sees the count reach zero.
  if (watchdog_.RunningMonitors.fetch_sub(1) - 1 < 1) {
    // Nothing is watched any more without anybody having asked for it: the run failed.
    if (failed && !watchdog_.StopFlag.IsRaised()) {
      watchdog_.monitors_failed.store(true);
    }
    watchdog_.StopFlag.Raise();
  }
  ended_.Raise();
}

}  // namespace gandry
