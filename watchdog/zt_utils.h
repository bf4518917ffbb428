#pragma once

#include <cstdint>
#include <string>

#include "common/stop_limits.h"
#include "platform/clock.h"
#include "platform/service_manager.h"
#include "platform/waitable_flag.h"

namespace gandry {

// The current state of the named service; kUnknown when the manager, the service or its
// status could not be obtained.
ServiceState QueryState(ServiceManager& services, const std::string& name);

// The named service's status, or why it could not be obtained.
Result<ServiceStatus> QueryStatus(ServiceManager& services, const std::string& name);

// Whether a wait gives up on a pending state that has lasted `pending_ms` in all, its check point
// unchanged for the last `unchanged_ms`: after the wait hint without progress (at least 30 s),
// or after kPendingWaitLimit however it moves.
bool PendingTooLong(std::int64_t pending_ms, std::int64_t unchanged_ms, std::uint32_t wait_hint_ms);

// Asks the manager to start the service and waits while it is start pending; true when it is
// running afterwards. The wait pauses between polls, gives up when the service makes no
// progress or takes too long, and ends early when `cancel` is raised; the result is then that
// of the last state obtained.
bool StartAndWait(ServiceManager& services, Clock& clock, const std::string& name,
                  const WaitableFlag* cancel);

// Sends the stop control and waits likewise while the service is stop pending; true when it
// is stopped afterwards. `refusal`, when given, receives the error code with which the stop
// control was refused, and 0 when it was taken or could not be sent.
bool StopAndWait(ServiceManager& services, Clock& clock, const std::string& name,
                 const WaitableFlag* cancel, std::uint32_t* refusal = nullptr);

// `time` (days since 30 December 1899) moved by `minutes`, rounded once.
double AddMinutes(int minutes, double time);

}  // namespace gandry
