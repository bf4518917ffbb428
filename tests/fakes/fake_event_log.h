#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// Records every report; answers with the result the test sets. A message over the event log's
// limit is refused and not recorded, as Windows does (Wine takes it).
class FakeEventLog final : public EventLog {
 public:
  struct Event {
    std::string source;
    EventType type;
    std::uint32_t id;
    std::string message;
  };

  Status Report(const std::string& source, EventType type, std::uint32_t event_id,
                const std::string& message) override {
    std::lock_guard lock(mutex_);
    if (message.size() > kEventMessageLimit) {
      return WinError(win_error::kRpcInvalidBound);
    }
    events_.push_back({source, type, event_id, message});
    if (!succeed_) {
      return WinError(win_error::kEventLogFileCorrupt);
    }
    return {};
  }

  std::vector<Event> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> messages;
    for (const Event& event : events_) {
      messages.push_back(event.message);
    }
    return messages;
  }
  void set_succeed(bool succeed) {
    std::lock_guard lock(mutex_);
    succeed_ = succeed;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Event> events_;
  bool succeed_ = true;
};

}  // namespace gandry
