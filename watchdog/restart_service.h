#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "watchdog/hung_service.h"
#include "watchdog/watchdog.h"

namespace gandry {

// How the services that depend on one fared when it was to be restarted.
struct StoppedDependents {
  std::vector<std::string> stopped;  // in the order they were stopped
  bool complete = true;              // every active dependent is stopped
  std::string refused_by;            // the dependent whose stop was refused, if any
  std::uint32_t refusal = 0;         // its error code
};

// Stops the service for a restart and waits, bounded; true once it is stopped. A stop that
// hangs goes to EndHungService, and counts as done once the process was ended. `refusal`
// receives the error code of a refused stop control, or 0.
bool StopForRestart(Watchdog& watchdog, const std::string& name, PendingTracker& tracker,
                    std::uint32_t& refusal);

// Stops the active services that depend on `name` in the platform's order, until one does not
// stop. Windows refuses to stop a service while they run. `trackers` keeps each dependent's
// hang from one restart to the next.
StoppedDependents StopDependents(Watchdog& watchdog, const std::string& name,
                                 std::map<std::string, PendingTracker>& trackers);

// Starts `stopped`, dependents of `name`, again in the reverse order, each waited for, and says
// which were started again and which not.
void StartDependentsAgain(Watchdog& watchdog, const std::string& name,
                          const std::vector<std::string>& stopped);

}  // namespace gandry
