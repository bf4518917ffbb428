#include "watchdog/supervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "watchdog/zt_utils.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

TEST(SupervisorTest, EmptyConfigurationEndsTheRunAtOnce) {
  WatchdogRig rig;
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_FALSE(rig.channel.append("after the run"));
  EXPECT_THAT(rig.Lines(), ElementsAre("Configuration file: [C:\\gandry\\Gandry.ini]",
                                       "Items not found.", "Nothing to do. Exiting."));
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "LoopDelayService"), "20");
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "StartDelayThread"), "180");
  EXPECT_EQ(rig.clock.sleeps(), 0);
}

TEST(SupervisorTest, AnnouncesItsItemsThenStopsEveryMonitorBeforeItsLastWord) {
  WatchdogRig rig;
  rig.WriteIni({"alpha||3|0", "beta|Beta service|0|1440|extra"});
  rig.services.Add("alpha", ServiceState::kRunning);
  rig.services.Add("beta", ServiceState::kRunning);
  // The supervisor's third pause begins after two whole ones.
  rig.clock.At(2 * kLoopDelayService.count(), [&rig] { rig.watchdog.StopFlag.Raise(); });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_FALSE(rig.channel.append("after the run")) << "the channel must be closed";

  const auto lines = rig.Lines();
  ASSERT_GE(lines.size(), 8u);
  EXPECT_THAT(
      std::vector<std::string>(lines.begin(), lines.begin() + 5),
      ElementsAre("Configuration file: [C:\\gandry\\Gandry.ini]", "Successfully loaded 2 items.",
                  "start thread #1 of [alpha]", "start thread #2 of [beta]",
                  "Self service was successfully started. Taked 2 item(s) for manage:"
                  "\n 1. [alpha||3|0]\n 2. [beta|Beta service|0|1440|extra]"));
  EXPECT_THAT(lines, Contains("stopping thread #1"));
  EXPECT_THAT(lines, Contains("stopping thread #2"));
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
  EXPECT_EQ(std::ranges::count(rig.clock.pauses(), kLoopDelayService), 3);
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
  EXPECT_EQ(rig.watchdog.settings.loop_delay_service_ms.load(), 11000);
}

// Nothing is watched any more, and nobody asked for that: the run failed.
TEST(SupervisorTest, EndsAsAFailedRunWhenEveryMonitorHasEndedThroughAnError) {
  WatchdogRig rig;
  rig.WriteIni({"a||1|0", "b||1|0", "c||1|0"});
  // Each monitor fails on its first look at its service.
  for (const char* name : {"a", "b", "c"}) {
    rig.services.Add(name, ServiceState::kRunning);
    rig.services.Modify(name, [](FakeServiceManager::Service& s) { s.open_throws = true; });
  }
  EXPECT_EQ(gandry::Run(rig.watchdog), kRunFailed);
  const auto lines = rig.Lines();
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
  EXPECT_THAT(lines, Contains("stopping thread #1"));
  EXPECT_THAT(lines, Contains("stopping thread #2"));
  EXPECT_THAT(lines, Contains("stopping thread #3"));
  EXPECT_TRUE(rig.watchdog.StopFlag.IsRaised());
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(SupervisorTest, AMonitorThatCannotStartEndsTheRunAndTheOthersStillEnd) {
  WatchdogRig rig;
  rig.WriteIni({"a||0|0", "b||0|0"});
  rig.threads.SetFailure(win_error::kNotEnoughMemory, 1);  // for the second thread
  EXPECT_EQ(gandry::Run(rig.watchdog), kRunFailed);
  EXPECT_FALSE(rig.channel.append("after the run"));
  const auto lines = rig.Lines();
  EXPECT_EQ(lines.back(), "Self service was terminated.");
  EXPECT_THAT(lines, Contains("stopping thread #1"));
  EXPECT_THAT(lines, Not(Contains("start thread #2 of [b]")));
  EXPECT_THAT(lines, Not(Contains("Self service was successfully stopped.")));
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(SupervisorTest, AStopWaitsForARestartUnderWayHoweverLongItsStopTakes) {
  WatchdogRig rig;
  rig.WriteIni({"svc||0|-1", "idle||0|0"});
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Add("idle", ServiceState::kRunning);
  rig.services.Modify("svc", [](auto& s) {
    s.stop_pending_polls = 90;  // a second each, with progress: 90 s in stop pending
    s.wait_hint_ms = 10'000;
  });
  // The restart begins at the first check; the stop comes a second into it.
  rig.clock.At(kStartDelayThread.count() + 1000, [&rig] { rig.watchdog.StopFlag.Raise(); });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_EQ(rig.services.Get("svc").state, ServiceState::kRunning);
  const auto lines = rig.Lines();
  EXPECT_THAT(lines, Contains(::testing::StartsWith("Service [svc] successfully restarted.")));
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(SupervisorTest, InServiceModeTheStartAndStopReachTheEventLog) {
  WatchdogRig rig(kServiceMode);
  rig.WriteIni({"a||0|0"});
  rig.clock.At(0, [&rig] { rig.watchdog.StopFlag.Raise(); });
  gandry::Run(rig.watchdog);
  EXPECT_THAT(rig.events.messages(),
              ElementsAre("Self service was successfully started. Taked 1 item(s) for manage:"
                          "\n 1. [a||0|0]",
                          "Self service was successfully stopped."));
  EXPECT_THAT(rig.Lines(), ::testing::IsEmpty());
}

// The style is read at the start and again at each reload; with detailed every kind keeps its
// own identifier and level, with classic everything is the one information event.
TEST(SupervisorTest, DetailedEventsFollowTheKindAndTheStyleOfTheLastLoad) {
  WatchdogRig rig(kServiceMode);
  rig.WriteIni({"down||2|0", "broken||1|0"});
  rig.ini.AddLine(kIni, "Settings", "Events", "Detailed");
  rig.services.Add("down", ServiceState::kStopped);
  rig.services.Add("broken", ServiceState::kStopped);
  rig.services.Modify("broken", [](auto& s) { s.start_fails = true; });
  // By then "broken" has failed its one attempt and run out of them.
  const std::int64_t reload_at = kStartDelayThread.count() + 4 * kLoopDelayThread.count() + 500;
  rig.clock.At(reload_at, [&rig] {
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "Settings", "Events", "classic"));
    rig.watchdog.reload_requested = true;
    rig.watchdog.SupervisorWake.Raise();
  });
  rig.clock.At(reload_at + 1000, [&rig] { rig.watchdog.StopFlag.Raise(); });
  gandry::Run(rig.watchdog);

  const auto events = rig.events.events();
  const auto first = [&events](const std::string& start) -> FakeEventLog::Event {
    const auto found =
        std::ranges::find_if(events, [&](const auto& e) { return e.message.starts_with(start); });
    return found == events.end() ? FakeEventLog::Event{"none", EventType::kInformation, 0, start}
                                 : *found;
  };
  const auto tag = [](const FakeEventLog::Event& e) { return std::pair(e.type, e.id); };
  EXPECT_EQ(tag(first("Self service was successfully started.")),
            std::pair(EventType::kInformation, 0x40020068u));
  EXPECT_EQ(tag(first("Service [down] successfully started by 2 attempt(s).")),
            std::pair(EventType::kInformation, 0x40020065u));
  EXPECT_EQ(tag(first("Attempts (1) to start service [broken] is expired.")),
            std::pair(EventType::kError, 0xC002012Du));
  EXPECT_EQ(tag(first("Configuration reloaded:")), std::pair(EventType::kInformation, 0x40020001u));
  EXPECT_EQ(tag(events.back()), std::pair(EventType::kInformation, 0x40020001u));
  EXPECT_EQ(events.back().message, "Self service was successfully stopped.");
}

}  // namespace
}  // namespace gandry::testing
