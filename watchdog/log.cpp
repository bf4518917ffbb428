#include "watchdog/log.h"

#include <utility>

namespace gandry {

std::uint32_t EventIdFor(std::uint16_t type) {
  switch (type) {
    case kEventError:
      return 0xC0020002;
    case kEventWarning:
      return 0x80020003;
    case kEventInformation:
      return 0x40020001;
    default:
      return 0;
  }
}

bool reportEvent(EventLog& events, const std::string& message, std::uint16_t type) {
  return events.Report(kEventSource, type, EventIdFor(type), message);
}

WatchdogLog::WatchdogLog(RunMode mode, Clock& clock, DateTimeFormat format, MessageChannel& channel,
                         EventLog& events)
    : mode_(mode), clock_(clock), format_(std::move(format)), channel_(channel), events_(events) {}

void WatchdogLog::LogLine(const std::string& message, bool to_event_log) {
  if (mode_ != kServiceMode) {
    channel_.append(FormatDateTime(format_, clock_.Now()) + ": " + message);
  } else if (to_event_log) {
    reportEvent(events_, message, kEventInformation);
  }
}

}  // namespace gandry
