#pragma once

#include "common/stop_limits.h"
#include "watchdog/watchdog.h"

namespace gandry {

// What Run returns when the run ended through an error ("Self service was terminated."),
// because its last monitor did, or on a Gandry.ini that exists but cannot be read.
inline constexpr int kRunFailed = 1;

// The watchdog's run routine: loads the configuration, starts one monitor per item, waits for
// StopFlag, stops the monitors and closes the channel. Returns 0, or kRunFailed.
int Run(Watchdog& watchdog);

}  // namespace gandry
