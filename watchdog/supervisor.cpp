#include "watchdog/supervisor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/ini_model.h"
#include "common/live_item.h"
#include "watchdog/config.h"
#include "watchdog/event_kind.h"
#include "watchdog/format_text.h"
#include "watchdog/item_diff.h"
#include "watchdog/live_board.h"
#include "watchdog/metrics_writer.h"
#include "watchdog/monitor.h"

namespace gandry {

namespace {

using MonitorList = std::vector<std::shared_ptr<TSrvManThread>>;

// The metrics writer's view of the live board, with a change flag of its own for as long as
// it lives.
class BoardSource {
 public:
  explicit BoardSource(LiveBoard& board) : board_(board) { board_.Notify(changed_); }
  BoardSource(const BoardSource&) = delete;
  BoardSource& operator=(const BoardSource&) = delete;
  ~BoardSource() { board_.StopNotifying(changed_); }

  MetricsSource Source() {
    return {.snapshot = [this] { return board_.Snapshot(); },
            .changed = &changed_,
            .reloads = [this] { return board_.reloads(); }};
  }

 private:
  LiveBoard& board_;
  WaitableFlag changed_;
};

// Asks every monitor that is still alive to end, then waits until they have: for good for the
// ones inside a restart, bounded for the rest.
void StopMonitors(Clock& clock, const MonitorList& monitors) {
  for (const auto& monitor : monitors) {
    if (!monitor->Ended()) {
      monitor->Terminate();
    }
  }
  const std::int64_t deadline =
      clock.TickMs() + std::chrono::milliseconds(kMonitorEndLimit).count();
  for (const auto& monitor : monitors) {
    while (!monitor->Ended()) {
      if (monitor->InRestart()) {
        monitor->WaitEnded(clock, kMonitorEndLimit);
        continue;
      }
      const std::chrono::milliseconds left(deadline - clock.TickMs());
      if (left.count() <= 0 || !monitor->WaitEnded(clock, left)) {
        break;
      }
    }
  }
}

// Starts a monitor of the item at `index` into `monitors`; false when its thread could not be
// made.
bool StartMonitor(Watchdog& watchdog, MonitorList& monitors, std::size_t index,
                  MonitorOrigin origin) {
  Result<std::shared_ptr<TSrvManThread>> monitor =
      TSrvManThread::Start(watchdog, watchdog.items[index], origin, watchdog.health_checks[index]);
  if (!monitor) {
    return false;
  }
  monitors.push_back(std::move(*monitor));
  return true;
}

// Ends a run that cannot go on: the monitors already running must not outlive it.
bool Terminate(Watchdog& watchdog, const MonitorList& monitors) {
  StopMonitors(watchdog.clock, monitors);
  watchdog.log.LogEvent(EventKind::kRunTerminated, "Self service was terminated.");
  return false;
}

// What a reload leaves to do.
enum class Reloaded : std::uint8_t {
  kWatching,
  kNothingLeft,
  kFailed,  // a monitor could not be started
};

// Reads the configuration again and brings the monitors in line: a monitor whose item is
// still listed goes on as it is, a listed item without one gets a new monitor, and the
// monitors of items no longer listed are asked to end. Every monitor stays in `monitors`
// until it has ended, so a stop waits for them all. A file that cannot be read leaves the
// running configuration as it is.
Reloaded Reload(Watchdog& watchdog, MonitorList& monitors) {
  if (const Status loaded = LoadConfiguration(watchdog); !loaded) {
    watchdog.log.LogEvent(
        EventKind::kConfigNotReloaded,
        FormatText("Configuration not reloaded: Gandry.ini cannot be read (error %u).",
                   static_cast<unsigned>(loaded.error().code)));
    return Reloaded::kWatching;
  }
  // A monitor is its item line and its health check: a changed check is a changed item.
  using Watched = std::pair<std::string, std::optional<HealthCheck>>;
  MonitorList active;
  std::vector<Watched> running;
  for (const auto& monitor : monitors) {
    if (!monitor->Terminated() && !monitor->Ended()) {
      active.push_back(monitor);
      running.emplace_back(monitor->item(), monitor->health_check());
    }
  }
  std::vector<Watched> wanted;
  for (std::size_t i = 0; i < watchdog.items.size(); ++i) {
    wanted.emplace_back(watchdog.items[i], watchdog.health_checks[i]);
  }
  const ItemDiff diff = DiffItems(running, wanted);
  // The new ones first, so that the running count cannot reach zero on the way.
  for (std::size_t i = 0; i < watchdog.items.size(); ++i) {
    if (!diff.kept_from[i] && !StartMonitor(watchdog, monitors, i, MonitorOrigin::kReload)) {
      return Reloaded::kFailed;
    }
  }
  watchdog.live.Reloaded(watchdog.items);
  watchdog.log.LogEvent(
      EventKind::kReloaded,
      FormatText("Configuration reloaded: %d item(s) watched, %d added, %d removed.",
                 static_cast<int>(watchdog.items.size()), static_cast<int>(diff.added()),
                 static_cast<int>(diff.removed.size())));
  for (const std::size_t index : diff.removed) {
    active[index]->Terminate();
  }
  std::erase_if(monitors, [](const auto& monitor) { return monitor->Ended(); });
  return watchdog.items.empty() ? Reloaded::kNothingLeft : Reloaded::kWatching;
}

// False when the run failed: the configuration could not be read.
bool Supervise(Watchdog& watchdog, MonitorList& monitors) {
  if (const Status loaded = LoadConfiguration(watchdog); !loaded) {
    // Not an empty list: the service manager's recovery is to try again.
    // The file that would name the event style could not be read: a classic event.
    watchdog.log.LogLine(FormatText("Configuration not loaded: Gandry.ini cannot be read (error "
                                    "%u).",
                                    static_cast<unsigned>(loaded.error().code)),
                         true);
    return false;
  }
  // Every way out of here below stops the monitors first, so the last write of the metrics
  // file (on the writer's destruction) holds their final counts.
  // Declared first, so that it outlives the writer that waits on its flag.
  BoardSource board(watchdog.live);
  MetricsWriter metrics(watchdog, board.Source());
  if (watchdog.items.empty()) {
    metrics.Start();
    watchdog.log.LogEvent(EventKind::kNothingToDo, "Nothing to do. Exiting.");
    return true;
  }
  watchdog.RunningMonitors.store(0);
  monitors.reserve(watchdog.items.size());
  std::string summary;
  for (std::size_t i = 0; i < watchdog.items.size(); ++i) {
    if (!StartMonitor(watchdog, monitors, i, MonitorOrigin::kRunStart)) {
      return Terminate(watchdog, monitors);
    }
    summary += FormatText("\n %d. [%s]", static_cast<int>(i + 1), watchdog.items[i].c_str());
  }
  watchdog.live.SetItems(watchdog.items);
  // Started once every monitor is on the board, so that the first file lists every item.
  metrics.Start();
  watchdog.log.LogEvent(
      EventKind::kRunStarted,
      FormatText("Self service was successfully started. Taked %d item(s) for manage:%s",
                 static_cast<int>(watchdog.items.size()), summary.c_str()));
  // Each pause ends at once when StopFlag is raised or a reload is asked for. A stop takes
  // precedence: a reload asked for meanwhile is not made.
  for (;;) {
    watchdog.SupervisorWake.Lower();
    if (watchdog.StopFlag.IsRaised()) {
      break;
    }
    if (watchdog.reload_requested.exchange(false)) {
      const Reloaded reloaded = Reload(watchdog, monitors);
      metrics.Start();
      if (reloaded == Reloaded::kFailed) {
        return Terminate(watchdog, monitors);
      }
      if (reloaded == Reloaded::kNothingLeft) {
        // As with an empty list at the start, once the last monitor has gone.
        StopMonitors(watchdog.clock, monitors);
        watchdog.log.LogEvent(EventKind::kNothingToDo, "Nothing to do. Exiting.");
        return true;
      }
      continue;
    }
    watchdog.clock.Sleep(std::chrono::milliseconds(watchdog.settings.loop_delay_service_ms.load()),
                         &watchdog.SupervisorWake);
  }
  StopMonitors(watchdog.clock, monitors);
  watchdog.log.LogEvent(EventKind::kRunStopped, "Self service was successfully stopped.");
  return true;
}

}  // namespace

int Run(Watchdog& watchdog) {
  MonitorList monitors;
  int result = 0;
  try {
    if (!Supervise(watchdog, monitors) || watchdog.monitors_failed.load()) {
      result = kRunFailed;
    }
  } catch (...) {
    result = kRunFailed;
    try {
      // Monitors already running must not outlive the run half-way through a restart.
      StopMonitors(watchdog.clock, monitors);
      watchdog.log.LogEvent(EventKind::kRunTerminated, "Self service was terminated.");
    } catch (...) {
      // Nothing more can be reported.
    }
  }
  watchdog.channel.close();
  return result;
}

}  // namespace gandry
