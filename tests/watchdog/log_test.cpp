#include "watchdog/log.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/date_time.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_event_log.h"
#include "fakes/fake_shared_memory.h"
#include "support/channel_lines.h"
#include "watchdog/event_kind.h"

namespace gandry {
namespace {

LocaleAnswers German() {
  LocaleAnswers l;
  l.short_date = "dd.MM.yyyy";
  l.hour_leading_zero = 1;
  l.time_format = 1;
  return l;
}

class WatchdogLogTest : public ::testing::Test {
 protected:
  WatchdogLogTest() { channel_.open(); }

  WatchdogLog MakeLog(RunMode mode) {
    return WatchdogLog(mode, clock_, MakeDateTimeFormat(German()), channel_, events_);
  }
  std::vector<std::string> ChannelLines() { return DrainChannel(channel_); }

  FakeClock clock_{EncodeDateTime({2026, 12, 6, 16, 7, 13, 250})};
  FakeSharedMemory memory_;
  MessageChannel channel_{memory_};
  FakeEventLog events_;
};

TEST_F(WatchdogLogTest, ProcessAndDebugModesTimestampEveryLineIntoTheChannel) {
  for (const RunMode mode : {kProcessMode, kDebugMode}) {
    WatchdogLog log = MakeLog(mode);
    log.LogLine("start thread #1 of [Spooler]", false);
    log.LogLine("Nothing to do. Exiting.", true);
    EXPECT_EQ(ChannelLines(),
              (std::vector<std::string>{"06.12.2026 16:07:13: start thread #1 of [Spooler]",
                                        "06.12.2026 16:07:13: Nothing to do. Exiting."}));
  }
  EXPECT_TRUE(events_.events().empty());
}

TEST_F(WatchdogLogTest, TheTimestampIsTakenAtEachCall) {
  WatchdogLog log = MakeLog(kDebugMode);
  log.LogLine("a", false);
  // To 00:00:00.250 of the next day: midnight to the second shows the date alone.
  clock_.Advance(std::chrono::milliseconds(((7 * 60 + 52) * 60 + 46) * 1000 + 750));
  log.LogLine("b", false);
  EXPECT_EQ(ChannelLines(), (std::vector<std::string>{"06.12.2026 16:07:13: a", "07.12.2026: b"}));
  EXPECT_EQ(log.Format(EncodeDateTime({2027, 3, 1, 4, 5, 6, 0})), "01.03.2027 04:05:06");
}

TEST_F(WatchdogLogTest, ALongLineIsCutWithItsTimestamp) {
  WatchdogLog log = MakeLog(kDebugMode);
  log.LogLine(std::string(300, 'x'), true);
  const std::vector<std::string> lines = ChannelLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "06.12.2026 16:07:13: " + std::string(250 - 21, 'x'));
}

TEST_F(WatchdogLogTest, ServiceModeReportsOnlyMarkedMessagesAsInformationEvents) {
  WatchdogLog log = MakeLog(kServiceMode);
  log.LogLine("start thread #1 of [Spooler]", false);
  log.LogLine("Nothing to do. Exiting.", true);
  log.LogLine("Service [100%s %1 %n] successfully started by 3 attempt(s).", true);
  events_.set_succeed(false);
  log.LogLine("still reported", true);

  const std::vector<FakeEventLog::Event> events = events_.events();
  ASSERT_EQ(events.size(), 3u);
  for (const FakeEventLog::Event& e : events) {
    EXPECT_EQ(e.source, "Gandry Service");
    EXPECT_EQ(e.type, kEventInformation);
    EXPECT_EQ(e.id, 0x40020001u);
  }
  EXPECT_EQ(events[0].message, "Nothing to do. Exiting.");
  EXPECT_EQ(events[1].message, "Service [100%s %1 %n] successfully started by 3 attempt(s).");
  EXPECT_TRUE(ChannelLines().empty());
}

TEST(ReportEvent, TheIdentifierFollowsTheType) {
  EXPECT_EQ(EventIdFor(kEventError), 0xC0020002u);
  EXPECT_EQ(EventIdFor(kEventWarning), 0x80020003u);
  EXPECT_EQ(EventIdFor(kEventInformation), 0x40020001u);
  for (const std::uint16_t other : {0, 3, 8, 16, 0xFFFF}) {
    EXPECT_EQ(EventIdFor(static_cast<EventType>(other)), 0u) << other;
  }

  FakeEventLog events;
  EXPECT_TRUE(reportEvent(events, "boom", kEventError));
  events.set_succeed(false);
  EXPECT_FALSE(reportEvent(events, "odd", static_cast<EventType>(8)));
  ASSERT_EQ(events.events().size(), 2u);
  EXPECT_EQ(events.events()[0].id, 0xC0020002u);
  EXPECT_EQ(events.events()[0].type, kEventError);
  EXPECT_EQ(events.events()[1].id, 0u);
  EXPECT_EQ(events.events()[1].source, "Gandry Service");
}

TEST(EventKinds, EachHasACodeOfItsOwnInTheBlockOfItsLevel) {
  std::set<std::uint16_t> codes;
  for (const EventKindInfo& info : kEventKinds) {
    SCOPED_TRACE(info.code);
    EXPECT_TRUE(codes.insert(info.code).second) << "used twice";
    EXPECT_EQ(&InfoOf(info.kind), &info);
    const int block = info.code / 100;
    EXPECT_EQ(block, info.type == kEventInformation ? 1 : info.type == kEventWarning ? 2 : 3);
    const EventTag detailed = EventTagOf(info.kind, EventStyle::kDetailed);
    EXPECT_EQ(detailed.type, info.type);
    EXPECT_EQ(detailed.id, MessageIdOf(info.type, info.code));
    EXPECT_EQ(detailed.id & 0xFFFF, info.code);
    const EventTag classic = EventTagOf(info.kind, EventStyle::kClassic);
    EXPECT_EQ(classic.type, kEventInformation);
    EXPECT_EQ(classic.id, 0x40020001u);
  }
  // The classic identifiers follow the same rule as the detailed ones.
  EXPECT_EQ(MessageIdOf(kEventInformation, 1), EventIdFor(kEventInformation));
  EXPECT_EQ(MessageIdOf(kEventWarning, 3), EventIdFor(kEventWarning));
  EXPECT_EQ(MessageIdOf(kEventError, 2), EventIdFor(kEventError));
}

TEST_F(WatchdogLogTest, ADetailedMessageTooLongForOneEventKeepsItsTagInEveryPart) {
  WatchdogLog service = MakeLog(kServiceMode);
  service.SetEventStyle(EventStyle::kDetailed);
  std::string summary = "Self service was successfully started. Taked 900 item(s) for manage:";
  while (summary.size() <= kEventMessageLimit) {
    summary += "\n 1. [" + std::string(150, 's') + "||3|0]";
  }
  service.LogEvent(EventKind::kRunStarted, summary);
  const std::vector<FakeEventLog::Event> events = events_.events();
  ASSERT_EQ(events.size(), 2u);
  for (const FakeEventLog::Event& e : events) {
    EXPECT_EQ(e.type, kEventInformation);
    EXPECT_EQ(e.id, 0x40020068u);
  }
  EXPECT_EQ(events[0].message + events[1].message.substr(events[1].message.find('\n')), summary);

  WatchdogLog debug = MakeLog(kDebugMode);
  debug.SetEventStyle(EventStyle::kDetailed);
  debug.LogEvent(EventKind::kAttemptsExpired, "Attempts (3) to start service [a] is expired.");
  EXPECT_EQ(events_.events().size(), 2u);
  EXPECT_EQ(ChannelLines(),
            std::vector<std::string>{
                "06.12.2026 16:07:13: Attempts (3) to start service [a] is expired."});
}

}  // namespace
}  // namespace gandry
