#pragma once

#include "platform/event_source.h"

namespace gandry {

// Event sources of the Application log, as keys under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
class WinEventSources final : public EventSources {
 public:
  Result<std::optional<EventSourceRegistration>> Query(const std::string& source) override;
  Status Register(const std::string& source, const EventSourceRegistration& registration) override;
  Status Remove(const std::string& source) override;
};

}  // namespace gandry
