#include "watchdog/restart_service.h"

#include <cstddef>

#include "watchdog/format_text.h"
#include "watchdog/zt_utils.h"

namespace gandry {

bool StopForRestart(Watchdog& watchdog, const std::string& name, PendingTracker& tracker,
                    std::uint32_t& refusal) {
  ServiceManager& services = watchdog.services;
  if (StopAndWait(services, watchdog.clock, name, nullptr, &refusal)) {
    return true;
  }
  // Still running, or in a state nobody could learn: a start could only report a restart that
  // never happened.
  const Result<ServiceStatus> status = QueryStatus(services, name);
  if (!status || status->state == ServiceState::kStopped) {
    return status.ok();
  }
  if (status->state != ServiceState::kStopPending) {
    return false;
  }
  tracker.GivenUp(*status, watchdog.clock.TickMs());
  if (!EndHungService(watchdog, name, *status, tracker)) {
    return false;
  }
  refusal = 0;
  return true;
}

StoppedDependents StopDependents(Watchdog& watchdog, const std::string& name,
                                 std::map<std::string, PendingTracker>& trackers) {
  StoppedDependents result;
  const Result<std::vector<std::string>> dependents = watchdog.services.ActiveDependents(name);
  if (!dependents) {
    // Then the service's own stop tells whether anything depends on it.
    return result;
  }
  for (const std::string& dependent : *dependents) {
    std::uint32_t refusal = 0;
    if (!StopForRestart(watchdog, dependent, trackers[dependent], refusal)) {
      result.complete = false;
      result.refused_by = dependent;
      result.refusal = refusal;
      break;
    }
    result.stopped.push_back(dependent);
  }
  return result;
}

void StartDependentsAgain(Watchdog& watchdog, const std::string& name,
                          const std::vector<std::string>& stopped) {
  std::vector<bool> started(stopped.size(), false);
  for (std::size_t i = stopped.size(); i-- > 0;) {
    started[i] = StartAndWait(watchdog.services, watchdog.clock, stopped[i], nullptr);
    if (!started[i]) {
      watchdog.log.LogEvent(EventKind::kDependentNotStarted,
                            FormatText("Dependent service [%s] of [%s] was not started again.",
                                       stopped[i].c_str(), name.c_str()));
    }
  }
  // Named in the order they were stopped.
  std::string names;
  for (std::size_t i = 0; i < stopped.size(); ++i) {
    if (started[i]) {
      names += names.empty() ? "" : ", ";
      names += stopped[i];
    }
  }
  if (!names.empty()) {
    watchdog.log.LogEvent(
        EventKind::kDependentsRestarted,
        FormatText("Dependent services of [%s] were stopped and started again: %s.", name.c_str(),
                   names.c_str()));
  }
}

}  // namespace gandry
