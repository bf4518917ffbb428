#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"

namespace gandry {

// A source of the Application event log as the system knows it: the file that holds its
// message table, and the event types it reports (1 error, 2 warning, 4 information). A file
// registered with environment variables (%ProgramFiles%\...) is given as the event log opens
// it, with their values in their place.
struct EventSourceRegistration {
  std::string message_file;
  std::uint32_t types_supported = 0;
};

class EventSources {
 public:
  virtual ~EventSources() = default;
  // Nothing when the source is not registered.
  virtual Result<std::optional<EventSourceRegistration>> Query(const std::string& source) = 0;
  // Registers the source, or rewrites its registration.
  virtual Status Register(const std::string& source,
                          const EventSourceRegistration& registration) = 0;
  // Succeeds when the source was not registered.
  virtual Status Remove(const std::string& source) = 0;
};

}  // namespace gandry
