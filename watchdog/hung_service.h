#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/service_manager.h"
#include "watchdog/watchdog.h"

namespace gandry {

// Follows one service's start or stop pending across looks that may be far apart, to tell when
// it has made no progress for longer than a wait of the watchdog would bear, and whether that
// hang has been dealt with already.
class PendingTracker {
 public:
  // Notes a look at `status` at `now_ms`; true when it is a start or stop pending that the
  // watchdog's waits would have given up on by now.
  bool Stalled(const ServiceStatus& status, std::int64_t now_ms);
  // Takes `status` for a hang that a wait has just given up on.
  void GivenUp(const ServiceStatus& status, std::int64_t now_ms);
  // True the first time for each hang, so that what is said about it is said once.
  bool FirstReport() { return !std::exchange(reported_, true); }
  // The process ended for this service, which the service manager may go on reporting (Wine
  // never marks the services of an ended process stopped); forgotten once the service is seen
  // out of its pending state.
  void NoteEnded(std::uint32_t process_id) { ended_process_id_ = process_id; }
  bool WasEnded(std::uint32_t process_id) const {
    return process_id != 0 && process_id == ended_process_id_;
  }

 private:
  ServiceState state_ = ServiceState::kUnknown;
  std::uint32_t check_point_ = 0;
  std::uint32_t process_id_ = 0;
  std::int64_t since_ms_ = 0;
  std::int64_t progressed_ms_ = 0;
  bool reported_ = false;
  std::uint32_t ended_process_id_ = 0;
};

// Deals with the service `name`, hung in `status` (start or stop pending). With
// HungServices=kill and a process of its own that no other service reports, ends that process,
// says so and waits briefly for the service manager to see the service stopped; true then, and
// the caller goes on as after a stop. A shared process is never ended; that is said once per
// hang. With leave, does nothing.
bool EndHungService(Watchdog& watchdog, const std::string& name, const ServiceStatus& status,
                    PendingTracker& tracker);

}  // namespace gandry
