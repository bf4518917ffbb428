#include "watchdog/zt_utils.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace gandry {

namespace {

// Bounds of a pending-state wait. A service that hangs in a pending state must neither pin a
// core nor hold its monitor for good.
constexpr std::chrono::milliseconds kMinPollPause{100};
constexpr std::chrono::milliseconds kMaxPollPause{1000};
constexpr std::int64_t kMinStallMs = 30'000;
constexpr std::int64_t kMaxWaitMs = std::chrono::milliseconds(kPendingWaitLimit).count();

// A tenth of the wait hint, as the service manager's own guidance suggests, but never a busy
// loop and never slower than one poll a second.
std::chrono::milliseconds PollPause(std::uint32_t wait_hint_ms) {
  return std::clamp(std::chrono::milliseconds(wait_hint_ms / 10), kMinPollPause, kMaxPollPause);
}

// Polls while the service stays in `pending` (or in `also`); returns the last state obtained. Gives
// up when the check point has not moved for the wait hint (at least 30 s), after ten minutes in
// all, or when `cancel` is raised.
ServiceState WaitWhilePending(OpenedService& service, Clock& clock, ServiceState pending,
                              std::optional<ServiceState> also, const WaitableFlag* cancel) {
  Result<ServiceStatus> status = service.Query();
  if (!status) {
    return ServiceState::kUnknown;
  }
  const std::int64_t started = clock.TickMs();
  std::int64_t progressed = started;
  std::uint32_t check_point = status->check_point;
  ServiceState state = status->state;
  while (state == pending || state == also) {
    const std::int64_t now = clock.TickMs();
    if (PendingTooLong(now - started, now - progressed, status->wait_hint_ms)) {
      break;
    }
    if (clock.Sleep(PollPause(status->wait_hint_ms), cancel)) {
      break;
    }
    status = service.Query();
    if (!status) {
      break;
    }
    state = status->state;
    if (status->check_point != check_point) {
      check_point = status->check_point;
      progressed = clock.TickMs();
    }
  }
  return state;
}

}  // namespace

bool PendingTooLong(std::int64_t pending_ms, std::int64_t unchanged_ms,
                    std::uint32_t wait_hint_ms) {
  return pending_ms >= kMaxWaitMs ||
         unchanged_ms >= std::max<std::int64_t>(wait_hint_ms, kMinStallMs);
}

Result<ServiceStatus> QueryStatus(ServiceManager& services, const std::string& name) {
  Result<std::unique_ptr<OpenedService>> service = services.Open(name, ServiceAccess::kQuery);
  if (!service) {
    return service.error();
  }
  return (*service)->Query();
}

ServiceState QueryState(ServiceManager& services, const std::string& name) {
  const Result<ServiceStatus> status = QueryStatus(services, name);
  return status ? status->state : ServiceState::kUnknown;
}

bool StartAndWait(ServiceManager& services, Clock& clock, const std::string& name,
                  const WaitableFlag* cancel) {
  Result<std::unique_ptr<OpenedService>> service =
      services.Open(name, ServiceAccess::kQueryAndStart);
  if (!service) {
    return false;
  }
  IgnoreFailure((*service)->Start(),
                "a service already running has done what was asked; the state afterwards tells");
  return WaitWhilePending(**service, clock, ServiceState::kStartPending, std::nullopt, cancel) ==
         ServiceState::kRunning;
}

bool StopAndWait(ServiceManager& services, Clock& clock, const std::string& name,
                 const WaitableFlag* cancel, std::uint32_t* refusal) {
  if (refusal != nullptr) {
    *refusal = 0;
  }
  Result<std::unique_ptr<OpenedService>> service =
      services.Open(name, ServiceAccess::kQueryAndStop);
  if (!service) {
    return false;
  }
  // A service may take the stop control and report stop pending only a moment later. Taking
  // its "running" of that moment for the outcome would let a scheduled restart start a service
  // that is still running, report success, and leave it stopped; so after an accepted stop,
  // running is waited out like stop pending.
  const Status sent = (*service)->Control(ControlCode::kStop);
  const bool accepted = sent.ok();
  if (!accepted && refusal != nullptr) {
    *refusal = sent.error().code;
  }
  const std::optional<ServiceState> still =
      accepted ? std::optional(ServiceState::kRunning) : std::nullopt;
  return WaitWhilePending(**service, clock, ServiceState::kStopPending, still, cancel) ==
         ServiceState::kStopped;
}

double AddMinutes(int minutes, double time) {
  const long double result =
      (static_cast<long double>(time) * 1440.0L + static_cast<long double>(minutes)) / 1440.0L;
  return static_cast<double>(result);
}

}  // namespace gandry
