#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "common/health_check.h"
#include "common/ini_model.h"
#include "common/live_item.h"
#include "platform/waitable_flag.h"
#include "watchdog/hung_service.h"
#include "watchdog/watchdog.h"

namespace gandry {

// Stack reserved for each monitor thread: a thousand monitors must fit comfortably into the
// address space of a 32-bit process.
inline constexpr std::size_t kMonitorStackReservation = std::size_t{64} * 1024;

// The shortest spacing of the starts that reported stops trigger, in milliseconds.
inline constexpr std::int64_t kMinTriggeredSpacingMs = 1000;

// The longest that repeated health restarts are held apart, unless a check's own spacing
// (its grace and its failures' intervals) is longer still.
inline constexpr std::int64_t kMaxHealthSpacingMs = 3'600'000;

// When a monitor makes its first check.
enum class MonitorOrigin : std::uint8_t {
  kRunStart,  // after StartDelayThread: the system may still be booting
  kReload,    // after one LoopDelayThread
};

// Watches one configured item on a thread of its own: restarts the service every restart
// period and starts it again when it is found stopped, within the attempt limit. With notify
// set it also subscribes to the service's stops, and a reported stop ends its pause at once.
// With a health check it checks the running service every interval, within its pauses, and
// restarts it after the configured number of failed checks in a row.
// Owned jointly by whoever started it and by its own thread, so a terminate request never
// reaches a freed monitor.
class TSrvManThread {
 public:
  // Counts the monitor in RunningMonitors (its new value is the thread number, unless a
  // monitor of this run already had that), reads the service and the numbers of `item`,
  // creates its thread, logs "start thread #n of [name]" and only then lets the thread run.
  // Fails when no thread can be created; the monitor is then neither counted nor announced.
  static Result<std::shared_ptr<TSrvManThread>> Start(
      Watchdog& watchdog, const std::string& item, MonitorOrigin origin = MonitorOrigin::kRunStart,
      std::optional<HealthCheck> health_check = std::nullopt);

  TSrvManThread(const TSrvManThread&) = delete;
  TSrvManThread& operator=(const TSrvManThread&) = delete;

  // Asks the monitor to end; wakes it at once from its pauses and from a start it waits on.
  void Terminate() {
    terminated_.Raise();
    wake_.Raise();
  }
  bool Terminated() const { return terminated_.IsRaised(); }
  // True once the end handling has run; the monitor no longer touches the watchdog then.
  bool Ended() const { return ended_.IsRaised(); }
  // True while a scheduled restart is under way. A monitor asked to end after this turned true
  // still finishes the restart (at a system shutdown only its stop); one that saw the request
  // first never begins it.
  bool InRestart() const { return in_restart_.load(); }
  // Waits on `clock` until the end handling has run or `limit` has passed.
  bool WaitEnded(Clock& clock, std::chrono::milliseconds limit) const {
    return ended_.IsRaised() || clock.Sleep(limit, &ended_);
  }

  const std::string& item() const { return item_; }
  const std::string& service_name() const { return service_name_; }
  std::int32_t attempt_limit() const { return attempt_limit_; }
  std::int32_t restart_period() const { return restart_period_; }
  int thread_number() const { return thread_number_; }
  const std::optional<HealthCheck>& health_check() const { return health_check_; }

  // Failed health checks in a row so far; 0 after a passing check or a health restart.
  int failed_checks() const { return failed_checks_.load(); }
  // Restarts made, by the schedule and after failed health checks.
  int scheduled_restarts() const { return scheduled_restarts_.load(); }
  int health_restarts() const { return health_restarts_.load(); }

 private:
  TSrvManThread(Watchdog& watchdog, const std::string& item, int thread_number,
                MonitorOrigin origin, std::optional<HealthCheck> health_check);
  TSrvManThread(Watchdog& watchdog, const std::string& item, WatchItem watched, int thread_number,
                MonitorOrigin origin, std::optional<HealthCheck> health_check);

  enum class PauseEnd : std::uint8_t { kElapsed, kStopReported, kTerminated };

  // When the next scheduled restart is due, on the monotonic tick clock: local time may jump.
  struct Schedule {
    std::int64_t next_ms = 0;
    std::uint32_t pauses_seen = 0;  // the watchdog's pause count at the last look
    bool after_pause = false;       // a pause came since the last restart was made
  };

  // The health check's timing, on the tick clock.
  struct Health {
    std::int64_t next_check_ms = 0;
    bool running_seen = false;    // the service was RUNNING at the last look
    std::int64_t started_ms = 0;  // when it was seen to start: the grace counts from here
    bool restarted_before = false;
    std::int64_t last_restart_ms = 0;
    // The least time from the last health restart to the next one.
    std::int64_t spacing_ms = 0;
  };

  void Execute();
  void Watch();
  // One scheduled restart when due; moves the schedule on when it succeeds.
  void RestartIfDue(Schedule& schedule);
  // Stops the service (its running dependents first), starts it, then the dependents again; the
  // start counts for `reason`.
  bool Restart(StartReason reason);
  // Logs a refused stop of a restart, of the service or of a dependent (`name`), once for each
  // error in a row.
  void NoteRefusedStop(const std::string& name, std::uint32_t error);
  // True when the service, found in `status`, hangs and its process was ended for it.
  bool EndIfHung(const ServiceStatus& status);
  // Starts the service when it is found stopped, counting the failures in `remaining`.
  void StartIfStopped(int& remaining);
  // The same after a reported stop, spaced from the previous start request.
  void StartAfterReportedStop(int& remaining);
  void NoteStartRequest();
  // The monitor's own start or restart succeeded: the health check's grace begins.
  void NoteStarted();
  // One health check (or a look, during the grace); restarts the service after too many
  // failures in a row.
  void CheckHealth();
  void RestartForHealth(int failures);
  // Grace, then the failures' intervals: the shortest spacing of health restarts.
  std::int64_t BaseHealthSpacingMs() const;
  // Starts the service (a start request waited on, bounded, cut short by `cancel`) and
  // counts the start or its failure in the live state.
  bool StartFor(StartReason reason, const WaitableFlag* cancel);
  // The service's state, which the live state takes over.
  ServiceState Look();
  // The same with the whole status.
  Result<ServiceStatus> LookStatus();
  void UpdateLive(const std::function<void(LiveItem&)>& change) {
    watchdog_.live.Update(live_id_, change);
  }
  // Failed health checks in a row, as the live state shows them too.
  void NoteFailedChecks(int failures);
  // A time on the tick clock as Unix seconds.
  std::int64_t UnixSeconds(std::int64_t tick_ms);
  // Pauses LoopDelayThread ms; ends early for a terminate request or a reported stop.
  PauseEnd Pause();
  // Subscribes to the service's stops, or ends the subscription, as the settings now say.
  void UpdateWatch();
  void OnServiceEvent(const ServiceNotice& notice);
  // Polls from now on, and says so.
  void GiveUpWatch(std::uint32_t error);
  void EndHandling(bool failed);

  Watchdog& watchdog_;
  const std::string item_;
  const std::string service_name_;
  const std::int32_t attempt_limit_;
  const std::int32_t restart_period_;  // minutes
  const int thread_number_;
  const MonitorOrigin origin_;
  const std::optional<HealthCheck> health_check_;
  WaitableFlag terminated_;
  WaitableFlag ended_;
  std::atomic<bool> in_restart_{false};
  // Raised by Terminate and by the subscription; lowered by the monitor before it looks.
  WaitableFlag wake_;
  std::atomic<bool> stop_reported_{false};
  std::atomic<bool> deleted_{false};
  std::atomic<bool> watch_failed_{false};  // raised after watch_error_ is stored
  std::atomic<std::uint32_t> watch_error_{0};
  std::atomic<int> failed_checks_{0};
  std::atomic<int> scheduled_restarts_{0};
  std::atomic<int> health_restarts_{0};

  LiveBoard::Id live_id_ = 0;  // set before the thread runs

  // The monitor thread's own.
  std::unique_ptr<ServiceWatch> watch_;
  bool watch_given_up_ = false;  // failed or ended: this monitor polls from now on
  std::int64_t last_start_ms_ = 0;
  bool started_before_ = false;
  std::uint32_t refusal_logged_ = 0;  // the refused stop last logged; 0 after a restart
  PendingTracker hang_;
  std::map<std::string, PendingTracker> dependent_hangs_;
  std::int64_t triggered_spacing_ms_ = kMinTriggeredSpacingMs;
  Health health_;
};

}  // namespace gandry
