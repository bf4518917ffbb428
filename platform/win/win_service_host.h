#pragma once

#include "watchdog/watchdog.h"

namespace gandry {

// Hands the calling thread to the service control dispatcher as the service "zt-gandry-demon".
// The service thread reports start pending and running, runs the supervisor on `watchdog` and
// reports stopped. Returns when the service has stopped, or at once when the process was not
// started by the service manager.
void RunServiceDispatcher(Watchdog& watchdog);

}  // namespace gandry
