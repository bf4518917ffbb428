#pragma once

#include <chrono>

#include "watchdog/watchdog.h"

namespace gandry {

// How long the supervisor waits for its monitors to end after asking them to. They wake at
// once; one in a scheduled restart is waited for until it has started its service again (or,
// at a system shutdown, until its stop is over; its waits are bounded on their own, by
// kPendingWaitLimit), so a stop never leaves a restarted service stopped.
inline constexpr std::chrono::seconds kMonitorEndLimit{30};

// What Run returns when the run ended through an error ("Self service was terminated."),
// because its last monitor did, or on a Gandry.ini that exists but cannot be read.
inline constexpr int kRunFailed = 1;

// The watchdog's run routine: loads the configuration, starts one monitor per item, waits for
// StopFlag, stops the monitors and closes the channel. Returns 0, or kRunFailed.
int Run(Watchdog& watchdog);

}  // namespace gandry
