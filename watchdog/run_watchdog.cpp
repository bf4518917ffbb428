#include "watchdog/run_watchdog.h"

#include <optional>
#include <string>

#include "common/command_line.h"
#include "common/zt_mapfile.h"
#include "watchdog/date_time_format.h"
#include "watchdog/live_publisher.h"
#include "watchdog/log.h"
#include "watchdog/service_control.h"
#include "watchdog/supervisor.h"
#include "watchdog/watchdog.h"

namespace gandry {

void RunWatchdog(WatchdogPlatform& platform, std::string_view own_path,
                 std::string_view command_line) {
  const std::optional<RunMode> mode = parseCommandLine(SplitCommandLine(command_line));
  if (!mode) {
    // Nobody would see a box on an invisible window station, and it would hold a wrongly
    // registered service in its start until the service manager gives up.
    if (platform.desktop.HasVisibleWindowStation()) {
      platform.desktop.ShowError(kProductTitle, kUsageText);
    }
    platform.processes.ExitCurrent(kExitBadCommandLine);
    return;
  }

  MessageChannel channel(platform.memory);
  WatchdogLog log(*mode, platform.clock, MakeDateTimeFormat(platform.system.UserLocale()), channel,
                  platform.events);
  if (!platform.system.IsNtPlatform()) {
    log.LogLine("Unsupported OS version.", false);
    platform.processes.ExitCurrent(kExitUnsupportedPlatform);
    return;
  }

  Watchdog watchdog(*mode, std::string(own_path), platform.clock, platform.threads,
                    platform.services, platform.ini, platform.probe, platform.files,
                    platform.encoding, channel, log);
  LivePublisher publisher(platform.clock, platform.threads, watchdog.live, platform.live_memory,
                          platform.processes.CurrentId());
  if (*mode != kServiceMode) {
    channel.open();
    // The exit code stays 0 even after an error: the shell passes it on as its own, and its
    // callers know 0 for a run that ended.
    Run(watchdog);
  } else {
    // The manager's status shows the live state of the service only: a watchdog in process
    // or debug mode has its console.
    publisher.Start();
    ServiceControl control(watchdog, platform.host.reporter());
    IgnoreFailure(platform.host.Dispatch(kServiceName, control),
                  "started by hand rather than by the service manager, the process ends quietly");
  }
  publisher.Stop();
  platform.processes.ExitCurrent(0);
}

}  // namespace gandry
