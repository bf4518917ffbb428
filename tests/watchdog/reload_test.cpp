#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "watchdog/supervisor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::Contains;
using ::testing::Not;

// Well after every monitor's first check.
constexpr std::int64_t kReloadAt = kStartDelayThread.count() + 3 * kLoopDelayThread.count() + 500;

void RequestReload(Watchdog& watchdog) {
  watchdog.reload_requested = true;
  watchdog.SupervisorWake.Raise();
}

std::vector<std::string> From(const std::vector<std::string>& lines, const std::string& first) {
  return {std::find(lines.begin(), lines.end(), first), lines.end()};
}

TEST(ReloadTest, KeepsUnchangedMonitorsEndsRemovedOnesAndChecksNewOnesAfterOnePause) {
  WatchdogRig rig;
  rig.WriteIni({"keep||3|0", "gone||3|0", "change||3|0"});
  for (const char* name : {"keep", "gone", "change"}) {
    rig.services.Add(name, ServiceState::kRunning);
  }
  rig.services.Add("new", ServiceState::kStopped);
  constexpr std::int64_t kNewLoopDelay = 9000;
  int new_starts_before = -1;
  int new_starts_after = -1;
  rig.clock.At(kReloadAt, [&rig] {
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "Services", "Item2", "change||5|0"));
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "Services", "Item3", "new||3|0"));
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "Settings", "LoopDelayThread", "9"));
    RequestReload(rig.watchdog);
  });
  rig.clock.At(kReloadAt + kNewLoopDelay - 1,
               [&] { new_starts_before = rig.services.Get("new").starts; });
  rig.clock.At(kReloadAt + kNewLoopDelay + 1, [&] {
    new_starts_after = rig.services.Get("new").starts;
    rig.watchdog.StopFlag.Raise();
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);

  EXPECT_EQ(new_starts_before, 0);
  EXPECT_EQ(new_starts_after, 1);
  const auto lines = From(rig.Lines(), "Configuration file: [C:\\gandry\\Gandry.ini]");
  const auto reload = From(lines, "Configuration reloaded: 3 item(s) watched, 2 added, 2 removed.");
  ASSERT_FALSE(reload.empty());
  // The reloaded file is read like the first, and its new monitors number on.
  EXPECT_THAT(From(lines, "Successfully loaded 3 items."), Contains("start thread #4 of [change]"));
  EXPECT_THAT(lines, Contains("start thread #5 of [new]"));
  EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.end() - reload.size()),
              Not(Contains("stopping thread #1")));
  EXPECT_THAT(reload, Contains("stopping thread #2"));
  EXPECT_THAT(reload, Contains("stopping thread #3"));
  EXPECT_THAT(reload, Not(Contains("start thread #1 of [keep]")));
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
  EXPECT_EQ(rig.services.Get("gone").starts + rig.services.Get("keep").starts, 0);
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(ReloadTest, AnEmptyListEndsEveryMonitorAndThenTheRun) {
  WatchdogRig rig;
  rig.WriteIni({"a||3|0", "b||0|5"});
  rig.services.Add("a", ServiceState::kRunning);
  rig.services.Add("b", ServiceState::kRunning);
  rig.clock.At(kReloadAt, [&rig] {
    EXPECT_TRUE(rig.ini.DeleteKey(kIni, "Services", "Item1"));
    EXPECT_TRUE(rig.ini.DeleteKey(kIni, "Services", "Item2"));
    RequestReload(rig.watchdog);
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_FALSE(rig.channel.append("after the run"));
  const auto lines = rig.Lines();
  const auto reload = From(lines, "Configuration reloaded: 0 item(s) watched, 0 added, 2 removed.");
  ASSERT_GE(reload.size(), 4u);
  EXPECT_THAT(reload, Contains("stopping thread #1"));
  EXPECT_THAT(reload, Contains("stopping thread #2"));
  EXPECT_EQ(lines.back(), "Nothing to do. Exiting.");
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(ReloadTest, AFileThatCannotBeReadKeepsTheRunningConfiguration) {
  WatchdogRig rig;
  rig.WriteIni({"a||3|0", "b||3|0"});
  rig.services.Add("a", ServiceState::kRunning);
  rig.services.Add("b", ServiceState::kRunning);
  rig.clock.At(kReloadAt, [&rig] {
    rig.ini.unreadable[kIni] = kErrorIniByteOrderMark;
    RequestReload(rig.watchdog);
  });
  rig.clock.At(kReloadAt + 1, [&rig] { rig.watchdog.StopFlag.Raise(); });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  const auto lines =
      From(rig.Lines(), "Configuration not reloaded: Gandry.ini cannot be read (error 552582079).");
  ASSERT_FALSE(lines.empty());
  EXPECT_THAT(lines, Not(Contains(::testing::StartsWith("Configuration reloaded"))));
  EXPECT_THAT(lines, Not(Contains(::testing::StartsWith("start thread"))));
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
  EXPECT_EQ(rig.watchdog.items, (std::vector<std::string>{"a||3|0", "b||3|0"}));
  EXPECT_EQ(rig.ini.writes(), 0);
}

TEST(ReloadTest, AReloadRequestedDuringAStopIsNotMade) {
  WatchdogRig rig;
  rig.WriteIni({"a||3|0"});
  rig.services.Add("a", ServiceState::kRunning);
  rig.clock.At(kReloadAt, [&rig] {
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "Services", "Item2", "b||3|0"));
    rig.watchdog.StopFlag.Raise();
    RequestReload(rig.watchdog);
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  const auto lines = rig.Lines();
  EXPECT_THAT(lines, Not(Contains(::testing::StartsWith("Configuration reloaded"))));
  EXPECT_THAT(lines, Not(Contains("start thread #2 of [b]")));
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
}

}  // namespace
}  // namespace gandry::testing
