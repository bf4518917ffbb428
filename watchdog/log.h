#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/ini_model.h"
#include "common/product_names.h"
#include "common/zt_mapfile.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "watchdog/date_time_format.h"
#include "watchdog/event_kind.h"

namespace gandry {

inline constexpr EventType kEventError = EventType::kError;
inline constexpr EventType kEventWarning = EventType::kWarning;
inline constexpr EventType kEventInformation = EventType::kInformation;

// The event identifier the message table holds for an event type; 0 for any other value. Classic
// events use these.
std::uint32_t EventIdFor(EventType type);

// The type and identifier that an event of `kind` is reported with in `style`: with classic, the
// information event every message has always had.
struct EventTag {
  EventType type;
  std::uint32_t id;
};
EventTag EventTagOf(EventKind kind, EventStyle style);

// Reports `message` as one event of "Gandry Service"; returns whether the report succeeded.
bool reportEvent(EventLog& events, const std::string& message, EventType type);

// `message` in texts of at most `limit` characters, cut only at line breaks: the first begins
// with the message's first line, each later one with a line "(continued, part N of M)". A
// single line too long for any of them is cut short.
std::vector<std::string> SplitForEventLog(const std::string& message, std::size_t limit);

// Every message of the watchdog passes through here. Safe to call from any thread.
class WatchdogLog {
 public:
  WatchdogLog(RunMode mode, Clock& clock, DateTimeFormat format, MessageChannel& channel,
              EventLog& events);

  // Process and debug modes: "<timestamp>: <message>" into the channel. Service mode: an
  // information event when `to_event_log` is set (several when the message is too long for
  // one), nothing otherwise. Messages for the event log name their kind with LogEvent instead.
  void LogLine(const std::string& message, bool to_event_log);

  // As LogLine with `to_event_log` set; in service mode every part of the message is reported
  // as an event of `kind` in the style in effect.
  void LogEvent(EventKind kind, const std::string& message);

  // Set from [Settings] Events at each load of the configuration; classic until then.
  void SetEventStyle(EventStyle style) { style_.store(style); }

  // The default date-time form the timestamps use.
  std::string Format(double date_time) const { return FormatDateTime(format_, date_time); }

 private:
  RunMode mode_;
  Clock& clock_;
  DateTimeFormat format_;
  MessageChannel& channel_;
  EventLog& events_;
  std::atomic<EventStyle> style_{EventStyle::kClassic};
};

}  // namespace gandry
