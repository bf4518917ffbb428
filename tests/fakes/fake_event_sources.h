#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/event_source.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// Event sources of the Application log, in memory.
class FakeEventSources final : public EventSources {
 public:
  std::map<std::string, EventSourceRegistration> sources;
  std::optional<std::uint32_t> fail_all;  // every call fails with this error

  Result<std::optional<EventSourceRegistration>> Query(const std::string& source) override {
    if (fail_all) {
      return WinError(*fail_all);
    }
    auto it = sources.find(source);
    if (it == sources.end()) {
      return std::optional<EventSourceRegistration>();
    }
    return std::optional(it->second);
  }
  Status Register(const std::string& source, const EventSourceRegistration& registration) override {
    if (fail_all) {
      return WinError(*fail_all);
    }
    sources[source] = registration;
    return {};
  }
  Status Remove(const std::string& source) override {
    if (fail_all) {
      return WinError(*fail_all);
    }
    sources.erase(source);
    return {};
  }
};

}  // namespace gandry
