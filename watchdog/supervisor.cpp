#include "watchdog/supervisor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "watchdog/config.h"
#include "watchdog/format_text.h"
#include "watchdog/monitor.h"

namespace gandry {

namespace {

// How long the supervisor waits for its monitors to end after asking them to. They wake at
// once; one in a scheduled restart is waited for until it has started its service again (its
// waits are bounded on their own), so a stop never leaves a restarted service stopped.
constexpr std::chrono::seconds kMonitorEndLimit{30};

using MonitorList = std::vector<std::shared_ptr<TSrvManThread>>;

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

void Supervise(Watchdog& watchdog, MonitorList& monitors) {
  LoadConfiguration(watchdog);
  if (watchdog.items.empty()) {
    watchdog.log.LogLine("Nothing to do. Exiting.", true);
    return;
  }
  watchdog.RunningMonitors.store(0);
  monitors.reserve(watchdog.items.size());
  std::string summary;
  for (std::size_t i = 0; i < watchdog.items.size(); ++i) {
    monitors.push_back(TSrvManThread::Start(watchdog, watchdog.items[i]));
    summary += FormatText("\n %d. [%s]", static_cast<int>(i + 1), watchdog.items[i].c_str());
  }
  watchdog.log.LogLine(
      FormatText("Self service was successfully started. Taked %d item(s) for manage:%s",
                 static_cast<int>(watchdog.items.size()), summary.c_str()),
      true);
  // Each pause ends at once when StopFlag is raised.
  const std::chrono::milliseconds poll(watchdog.settings.loop_delay_service_ms);
  while (!watchdog.StopFlag.IsRaised()) {
    watchdog.clock.Sleep(poll, &watchdog.StopFlag);
  }
  StopMonitors(watchdog.clock, monitors);
  watchdog.log.LogLine("Self service was successfully stopped.", true);
}

}  // namespace

int Run(Watchdog& watchdog) {
  MonitorList monitors;
  int result = 0;
  try {
    Supervise(watchdog, monitors);
  } catch (...) {
    result = kRunFailed;
    try {
      // Monitors already running must not outlive the run half-way through a restart.
      StopMonitors(watchdog.clock, monitors);
      watchdog.log.LogLine("Self service was terminated.", true);
    } catch (...) {
      // Nothing more can be reported.
    }
  }
  watchdog.channel.close();
  return result;
}

}  // namespace gandry
