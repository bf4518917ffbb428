#pragma once

#include <cstdint>
#include <string>

namespace gandry {

// The application event log.
class EventLog {
 public:
  virtual ~EventLog() = default;
  // Registers `source` on the local computer, reports one event of `type` and `event_id`,
  // category 0, no user SID, `message` as its only insertion string and no data, then
  // deregisters the source. Returns whether the report succeeded.
  virtual bool Report(const std::string& source, std::uint16_t type, std::uint32_t event_id,
                      const std::string& message) = 0;
};

}  // namespace gandry
