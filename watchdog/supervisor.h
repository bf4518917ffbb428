#pragma once

#include "watchdog/watchdog.h"

namespace gandry {

// The watchdog's run routine: loads the configuration, starts one monitor per item, waits for
// StopFlag, stops the monitors and closes the channel. Returns the process exit code.
int Run(Watchdog& watchdog);

}  // namespace gandry
