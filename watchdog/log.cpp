#include "watchdog/log.h"

#include <string_view>
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

EventTag EventTagOf(EventKind kind, EventStyle style) {
  if (style == EventStyle::kClassic) {
    return {kEventInformation, EventIdFor(kEventInformation)};
  }
  const EventKindInfo& info = InfoOf(kind);
  return {info.type, MessageIdOf(info.type, info.code)};
}

bool reportEvent(EventLog& events, const std::string& message, EventType type) {
  return events.Report(kEventSource, type, EventIdFor(type), message).ok();
}

std::vector<std::string> SplitForEventLog(const std::string& message, std::size_t limit) {
  if (message.size() <= limit) {
    return {message};
  }
  // Kept free in every later part for its head line.
  constexpr std::size_t kHeadRoom = 64;
  std::vector<std::string> parts(1);
  std::size_t begin = 0;
  while (begin < message.size()) {
    // A line together with the break before it.
    std::size_t end = message.find('\n', begin + 1);
    end = end == std::string::npos ? message.size() : end;
    const std::string_view line(message.data() + begin, end - begin);
    begin = end;
    std::size_t room = (parts.size() == 1 ? limit : limit - kHeadRoom) - parts.back().size();
    if (line.size() > room && !parts.back().empty()) {
      parts.emplace_back();
      room = limit - kHeadRoom;
    }
    parts.back() += line.substr(0, room);
  }
  const std::string count = std::to_string(parts.size());
  for (std::size_t i = 1; i < parts.size(); ++i) {
    // Every line but the first begins with its break, so the head stands on a line of its own.
    parts[i].insert(0, "(continued, part " + std::to_string(i + 1) + " of " + count + ")");
  }
  return parts;
}

WatchdogLog::WatchdogLog(RunMode mode, Clock& clock, DateTimeFormat format, MessageChannel& channel,
                         EventLog& events)
    : mode_(mode), clock_(clock), format_(std::move(format)), channel_(channel), events_(events) {}

void WatchdogLog::LogLine(const std::string& message, bool to_event_log) {
  if (mode_ != kServiceMode) {
    channel_.append(FormatDateTime(format_, LocalNow(clock_)) + ": " + message);
  } else if (to_event_log) {
    for (const std::string& part : SplitForEventLog(message, kEventMessageLimit)) {
      reportEvent(events_, part, kEventInformation);
    }
  }
}

void WatchdogLog::LogEvent(EventKind kind, const std::string& message) {
  if (mode_ != kServiceMode) {
    LogLine(message, true);
    return;
  }
  const EventTag tag = EventTagOf(kind, style_.load());
  for (const std::string& part : SplitForEventLog(message, kEventMessageLimit)) {
    IgnoreFailure(events_.Report(kEventSource, tag.type, tag.id, part),
                  "nothing is left to tell of a lost event");
  }
}

}  // namespace gandry
