#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/result.h"

namespace gandry {

// The type of an event, as the event log numbers it.
enum class EventType : std::uint16_t {
  kError = 1,
  kWarning = 2,
  kInformation = 4,
};

// The longest insertion string the event log takes, in characters; a longer one is refused and
// nothing is logged.
inline constexpr std::size_t kEventMessageLimit = 31'839;

// The application event log.
class EventLog {
 public:
  virtual ~EventLog() = default;
  // Registers `source` on the local computer, reports one event of `type` and `event_id`,
  // category 0, no user SID, `message` as its only insertion string and no data, then
  // deregisters the source.
  virtual Status Report(const std::string& source, EventType type, std::uint32_t event_id,
                        const std::string& message) = 0;
};

}  // namespace gandry
