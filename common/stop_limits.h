#pragma once

#include <chrono>

namespace gandry {

// The longest that the watchdog waits while a service it starts or stops is pending.
inline constexpr std::chrono::minutes kPendingWaitLimit{10};

// How long the supervisor waits for its monitors to end after asking them to. They wake at
// once; one in a scheduled restart is waited for until it has started its service again (or,
// at a system shutdown, until its stop is over; its waits are bounded on their own, by
// kPendingWaitLimit), so a stop never leaves a restarted service stopped.
inline constexpr std::chrono::seconds kMonitorEndLimit{30};

// The longest the watchdog takes to stop: a monitor in a scheduled restart finishes it first,
// a stop and a start of its service that are waited for up to kPendingWaitLimit each, while the
// others are given kMonitorEndLimit. A restart of a service with running dependents waits as
// long again for each of them, which this bound does not count.
inline constexpr std::chrono::seconds kLongestWatchdogStop =
    2 * kPendingWaitLimit + kMonitorEndLimit;

}  // namespace gandry
