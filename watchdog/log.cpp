#include "watchdog/log.h"

#include <utility>

#include "common/date_time.h"

namespace gandry {

std::uint32_t EventIdFor(EventType type) {
  switch (type) {
    case EventType::kError:
      return 0xC0020002;
    case EventType::kWarning:
      return 0x80020003;
    case EventType::kInformation:
      return 0x40020001;
  }
  return 0;
}

bool reportEvent(EventLog& events, const std::string& message, EventType type) {
  return events.Report(kEventSource, type, EventIdFor(type), message).ok();
}

WatchdogLog::WatchdogLog(RunMode mode, Clock& clock, DateTimeFormat format, MessageChannel& channel,
                         EventLog& events)
    : mode_(mode), clock_(clock), format_(std::move(format)), channel_(channel), events_(events) {}

void WatchdogLog::LogLine(const std::string& message, bool to_event_log) {
  if (mode_ != kServiceMode) {
    channel_.append(FormatDateTime(format_, LocalNow(clock_)) + ": " + message);
  } else if (to_event_log) {
    reportEvent(events_, message, kEventInformation);
  }
}

}  // namespace gandry
