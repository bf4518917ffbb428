#include "watchdog/hung_service.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "common/ascii_text.h"
#include "watchdog/format_text.h"
#include "watchdog/zt_utils.h"

namespace gandry {

namespace {

// Windows marks the services of an ended process stopped at once; Wine's service manager never
// does, but takes a new start. Either way the start follows after this at the latest.
constexpr std::chrono::milliseconds kEndedProcessGrace{5000};
constexpr std::chrono::milliseconds kEndedProcessPoll{100};

bool IsStartOrStopPending(ServiceState state) {
  return state == ServiceState::kStartPending || state == ServiceState::kStopPending;
}

const char* PendingName(ServiceState state) {
  return state == ServiceState::kStartPending ? "start pending" : "stop pending";
}

// True only when the process is known to hold no other service: a process whose services cannot
// be listed is taken for shared.
bool OwnsItsProcess(ServiceManager& services, const std::string& name,
                    const ServiceStatus& status) {
  if (!status.own_process) {
    return false;
  }
  const Result<std::vector<std::string>> in_process = services.ServicesInProcess(status.process_id);
  return in_process && std::ranges::all_of(*in_process, [&name](const std::string& other) {
           return EqualsNoCase(other, name);
         });
}

}  // namespace

bool PendingTracker::Stalled(const ServiceStatus& status, std::int64_t now_ms) {
  if (!IsStartOrStopPending(status.state)) {
    state_ = ServiceState::kUnknown;
    reported_ = false;
    ended_process_id_ = 0;
    return false;
  }
  if (status.state != state_ || status.process_id != process_id_) {
    state_ = status.state;
    process_id_ = status.process_id;
    check_point_ = status.check_point;
    since_ms_ = progressed_ms_ = now_ms;
    reported_ = false;
    return false;
  }
  if (status.check_point != check_point_) {
    check_point_ = status.check_point;
    progressed_ms_ = now_ms;
    reported_ = false;
  }
  return PendingTooLong(now_ms - since_ms_, now_ms - progressed_ms_, status.wait_hint_ms);
}

void PendingTracker::GivenUp(const ServiceStatus& status, std::int64_t now_ms) {
  if (status.state != state_ || status.process_id != process_id_ ||
      status.check_point != check_point_) {
    reported_ = false;
  }
  state_ = status.state;
  process_id_ = status.process_id;
  check_point_ = status.check_point;
  since_ms_ = progressed_ms_ = now_ms;
}

bool EndHungService(Watchdog& watchdog, const std::string& name, const ServiceStatus& status,
                    PendingTracker& tracker) {
  if (!watchdog.settings.kill_hung.load() || !IsStartOrStopPending(status.state) ||
      status.process_id == 0) {
    return false;
  }
  // The process is gone already: the id reported is out of date and may name another process.
  if (tracker.WasEnded(status.process_id)) {
    return true;
  }
  ServiceManager& services = watchdog.services;
  if (!OwnsItsProcess(services, name, status)) {
    if (tracker.FirstReport()) {
      watchdog.log.LogEvent(EventKind::kHungLeftAlone,
                            FormatText("Service [%s] hung in %s; it shares its process with other "
                                       "services, so it was left alone.",
                                       name.c_str(), PendingName(status.state)));
    }
    return false;
  }
  if (!services.EndServiceProcess(name, status.process_id)) {
    return false;
  }
  tracker.NoteEnded(status.process_id);
  watchdog.log.LogEvent(EventKind::kHungProcessEnded,
                        FormatText("Service [%s] hung in %s; its process %u was ended.",
                                   name.c_str(), PendingName(status.state), status.process_id));
  Clock& clock = watchdog.clock;
  const std::int64_t end = clock.TickMs() + kEndedProcessGrace.count();
  while (clock.TickMs() < end) {
    const Result<ServiceStatus> now = QueryStatus(services, name);
    if (!now || now->state != status.state || now->process_id != status.process_id) {
      break;
    }
    clock.Sleep(kEndedProcessPoll, nullptr);
  }
  return true;
}

}  // namespace gandry
