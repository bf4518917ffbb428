#pragma once

#include "platform/event_log.h"

namespace gandry {

// The application event log of the local computer.
class WinEventLog final : public EventLog {
 public:
  bool Report(const std::string& source, std::uint16_t type, std::uint32_t event_id,
              const std::string& message) override;
};

}  // namespace gandry
