#pragma once

#include "platform/event_log.h"

namespace gandry {

// The application event log of the local computer.
class WinEventLog final : public EventLog {
 public:
  Status Report(const std::string& source, EventType type, std::uint32_t event_id,
                const std::string& message) override;
};

}  // namespace gandry
