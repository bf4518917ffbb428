// Configuration and names that no sane administrator writes, but a damaged or careless file can
// hold: none of it may crash the watchdog, lose the defaults, or be taken as a format.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fakes/fake_event_log.h"
#include "fakes/fake_shared_memory.h"
#include "watchdog/config.h"
#include "watchdog/monitor.h"
#include "watchdog/supervisor.h"
#include "watchdog/zt_utils.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr std::chrono::seconds kEndLimit{30};

// Bytes 1..255: what a binary file read through the platform's profile functions can yield.
std::string BinaryText(std::mt19937& random, std::size_t length) {
  std::uniform_int_distribution<int> byte(1, 255);
  std::string text(length, '\0');
  for (char& c : text) {
    c = static_cast<char>(byte(random));
  }
  return text;
}

bool IsItemKey(const std::string& key) {
  return key.size() >= 4 && (key[0] | 0x20) == 'i' && (key[1] | 0x20) == 't' &&
         (key[2] | 0x20) == 'e' && (key[3] | 0x20) == 'm';
}

TEST(HostileIni, BinaryAndHugeContentGivesDefaultsAndCutItems) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> length(0, 6000);
  WatchdogRig rig;
  std::vector<std::string> expected_items;
  for (const char* key : {"LoopDelayThread", "LoopDelayService", "StartDelayThread"}) {
    rig.ini.AddLine(kIni, "Settings", key, BinaryText(random, length(random)));
  }
  // A megabyte of digits reads as its first 2047 characters, which overflow.
  rig.ini.AddLine(kIni, "Settings", "LoopDelayThread", std::string(1 << 20, '7'));
  for (int i = 0; i < 300; ++i) {
    // The platform splits a line at its first '=', so no key holds one.
    std::string key = BinaryText(random, 1 + length(random) % 40);
    std::replace(key.begin(), key.end(), '=', '_');
    if (i % 3 == 0) {
      key.insert(0, "Item");
    }
    const std::string value = BinaryText(random, length(random));
    rig.ini.AddLine(kIni, "Services", key, value);
    if (IsItemKey(key)) {
      // As a reader gets it: without the blanks around it or quotes that enclose it.
      expected_items.push_back(
          rig.ini.Read(kIni).value()->ReadValue("Services", key).substr(0, 200));
    }
  }

  ASSERT_TRUE(LoadConfiguration(rig.watchdog));
  EXPECT_EQ(rig.watchdog.settings.loop_delay_thread_ms.load(), 30'000);
  EXPECT_EQ(rig.watchdog.settings.loop_delay_service_ms.load(), 20'000);
  EXPECT_EQ(rig.watchdog.settings.start_delay_thread_ms.load(), 180'000);
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "LoopDelayThread"), "30");
  // Compared one by one: a failure message with every binary item would be unreadable.
  ASSERT_EQ(rig.watchdog.items.size(), expected_items.size());
  for (std::size_t i = 0; i < expected_items.size(); ++i) {
    EXPECT_TRUE(rig.watchdog.items[i] == expected_items[i]) << "item " << i;
  }
  EXPECT_THAT(rig.Lines(), ElementsAre("Configuration file: [C:\\gandry\\Gandry.ini]",
                                       "Successfully loaded " +
                                           std::to_string(expected_items.size()) + " items."));
}

TEST(HostileIni, AnItemLineOf2047CharactersIsWatchedUnderItsFirst200) {
  WatchdogRig rig;
  const std::string name(2047 - 6, 'N');
  rig.ini.AddLine(kIni, "Services", "Item1", name + "||3|0");
  rig.ini.AddLine(kIni, "Services", "Item2", std::string(5000, '|'));
  const std::vector<std::string> items = LoadItems(*rig.ini.Read(kIni).value(), nullptr);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], name.substr(0, 200));
  EXPECT_EQ(items[1], std::string(200, '|'));

  auto monitor = *TSrvManThread::Start(rig.watchdog, items[0]);
  auto empty = *TSrvManThread::Start(rig.watchdog, items[1]);
  monitor->Terminate();
  empty->Terminate();
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  ASSERT_TRUE(empty->WaitEnded(rig.clock, kEndLimit));
  EXPECT_EQ(monitor->service_name(), name.substr(0, 200));
  EXPECT_EQ(monitor->attempt_limit(), 0);
  EXPECT_EQ(empty->service_name(), "");
  EXPECT_EQ(empty->restart_period(), 0);
  // The start line goes into the channel cut to one slot, timestamp included.
  const auto lines = rig.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_THAT(lines[0], StartsWith("start thread #1 of [NNNN"));
  EXPECT_LT(lines[0].size(), kChannelLineMax);
}

// One debug run and one service run with a name full of format characters, quotes and bytes
// beyond ASCII: every message carries the name as it is.
TEST(HostileIni, FormatCharactersQuotesAndNonAsciiInANameAreKeptAsTheyAre) {
  const std::string name = "svc %s %n %d %% \"quoted\" 'single' \xE4\xF6\xFC\xFF\x01";
  const std::string item = name + "|caption %x|1|0";
  for (const RunMode mode : {kDebugMode, kServiceMode}) {
    SCOPED_TRACE(mode == kDebugMode ? "debug" : "service");
    WatchdogRig rig(mode);
    rig.WriteIni({item});
    rig.services.Add(name, ServiceState::kStopped);
    // The monitor's second pause follows its start attempt.
    rig.clock.At(kStartDelayThread.count() + kLoopDelayThread.count(),
                 [&rig] { rig.watchdog.StopFlag.Raise(); });
    EXPECT_EQ(gandry::Run(rig.watchdog), 0);
    EXPECT_EQ(rig.services.Get(name).state, ServiceState::kRunning);

    const std::string started = "Service [" + name + "] successfully started by 1 attempt(s).";
    const std::string summary =
        "Self service was successfully started. Taked 1 item(s) for manage:\n 1. [" + item + "]";
    if (mode == kDebugMode) {
      EXPECT_THAT(
          rig.Lines(),
          ElementsAre("Configuration file: [C:\\gandry\\Gandry.ini]",
                      "Successfully loaded 1 items.", "start thread #1 of [" + name + "]", summary,
                      started, "stopping thread #1", "Self service was successfully stopped."));
    } else {
      EXPECT_THAT(rig.events.messages(),
                  ElementsAre(summary, started, "Self service was successfully stopped."));
    }
  }
}

TEST(HostileIni, APercentInALogMessageIsNoFormat) {
  FakeClock clock;
  FakeSharedMemory memory;
  MessageChannel channel(memory);
  channel.open();
  FakeEventLog events;
  // Locale answers with format characters of their own reach the timestamp verbatim as well.
  LocaleAnswers locale;
  locale.short_date = "yyyy-MM-dd";
  locale.am = "%n%s";
  locale.pm = "%n%s";
  locale.time_format = 0;
  const std::string message = "100% sure: %s %n %d %08x %%";
  for (const RunMode mode : {kProcessMode, kServiceMode}) {
    WatchdogLog log(mode, clock, MakeDateTimeFormat(locale), channel, events);
    log.LogLine(message, true);
  }
  std::string line;
  ASSERT_TRUE(channel.take(line));
  EXPECT_THAT(line, ::testing::EndsWith(": " + message));
  EXPECT_NE(line.find("%n%s"), std::string::npos) << line;
  ASSERT_EQ(events.events().size(), 1u);
  EXPECT_EQ(events.events()[0].message, message);
}

// Every item gets its monitor, the start message lists them all, and all of them end. The build
// chooses how many: under Wine a thread costs about 3 MB of address space and 1 MB of memory,
// and a 32-bit test process has 2 GB, so there a few hundred make the point.
TEST(ManyItems, ThousandsOfItemsAreAllWatchedAndAllStopped) {
  constexpr int kItems = GANDRY_TEST_MANY_ITEMS;
  WatchdogRig rig(kServiceMode);
  std::vector<std::string> items;
  std::string listed;
  for (int i = 1; i <= kItems; ++i) {
    items.push_back("svc" + std::to_string(i) + "||3|0");
    listed += "\n " + std::to_string(i) + ". [" + items.back() + "]";
  }
  rig.WriteIni(items);
  // Time moves only once the supervisor waits, after it has started every monitor.
  int counted = -1;
  rig.clock.At(1, [&rig, &counted] {
    counted = rig.watchdog.RunningMonitors.load();
    rig.watchdog.StopFlag.Raise();
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_EQ(counted, kItems);
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
  // The list goes to the event log in as many events as its limit asks for, each with whole
  // item lines; a later one starts with a line of its own instead of the first line.
  std::vector<std::string> events = rig.events.messages();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.back(), "Self service was successfully stopped.");
  events.pop_back();
  const std::string first_line = "Self service was successfully started. Taked " +
                                 std::to_string(kItems) + " item(s) for manage:";
  std::string joined;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::string head = i == 0 ? first_line
                                    : "(continued, part " + std::to_string(i + 1) + " of " +
                                          std::to_string(events.size()) + ")";
    ASSERT_THAT(events[i], StartsWith(head + "\n "));
    EXPECT_LE(events[i].size(), kEventMessageLimit);
    joined += events[i].substr(head.size());
  }
  EXPECT_EQ(joined, listed);
}

}  // namespace
}  // namespace gandry::testing
