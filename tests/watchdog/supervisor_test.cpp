#include "watchdog/supervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "watchdog/zt_utils.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

struct Failure {};

TEST(SupervisorTest, EmptyConfigurationEndsTheRunAtOnce) {
  WatchdogRig rig;
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_FALSE(rig.channel.append("after the run"));
  EXPECT_THAT(rig.Lines(), ElementsAre("Configuration file: [C:\\gandry\\Gandry.ini]",
                                       "Items not found.", "Nothing to do. Exiting."));
  EXPECT_EQ(rig.profiles.Value(kIni, "Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(rig.profiles.Value(kIni, "Settings", "LoopDelayService"), "20");
  EXPECT_EQ(rig.profiles.Value(kIni, "Settings", "StartDelayThread"), "180");
  EXPECT_EQ(rig.clock.sleeps(), 0);
}

TEST(SupervisorTest, AnnouncesItsItemsThenStopsEveryMonitorBeforeItsLastWord) {
  WatchdogRig rig;
  rig.WriteIni({"alpha||3|0", "beta|Beta service|0|1440|extra"});
  rig.services.Add("alpha", kStateRunning);
  rig.services.Add("beta", kStateRunning);
  std::atomic<int> supervisor_pauses{0};
  rig.clock.SetOnSleep([&rig, &supervisor_pauses](milliseconds duration) {
    rig.Collect();
    if (duration == kLoopDelayService && ++supervisor_pauses == 3) {
      rig.watchdog.StopFlag.Raise();
    }
    std::this_thread::yield();
  });
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
  EXPECT_EQ(supervisor_pauses.load(), 3);
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
  EXPECT_EQ(rig.watchdog.settings.loop_delay_service_ms, 11000);
}

TEST(SupervisorTest, EndsWhenEveryMonitorHasEndedByItself) {
  WatchdogRig rig;
  rig.WriteIni({"a||0|0", "b||0|0", "c||0|0"});
  // The monitors fail on their first pass, but only once all of them exist.
  WaitableFlag all_started;
  rig.clock.SetOnSleep([&rig, &all_started](milliseconds duration) {
    rig.Collect();
    std::this_thread::yield();
    if (duration == kLoopDelayService) {
      all_started.Raise();
    } else if (duration == kStartDelayThread) {
      all_started.WaitFor(std::chrono::seconds(30));
    } else if (duration == kLoopDelayThread) {
      throw Failure{};
    }
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  const auto lines = rig.Lines();
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
  EXPECT_THAT(lines, Contains("stopping thread #1"));
  EXPECT_THAT(lines, Contains("stopping thread #2"));
  EXPECT_THAT(lines, Contains("stopping thread #3"));
  EXPECT_TRUE(rig.watchdog.StopFlag.IsRaised());
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(SupervisorTest, AnErrorWhileSupervisingIsReportedAndTheMonitorsStillEnd) {
  WatchdogRig rig;
  rig.WriteIni({"a||0|0", "b||0|0"});
  rig.clock.SetOnSleep([&rig](milliseconds duration) {
    rig.Collect();
    std::this_thread::yield();
    if (duration == kLoopDelayService) {
      throw Failure{};
    }
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_FALSE(rig.channel.append("after the run"));
  const auto lines = rig.Lines();
  EXPECT_EQ(lines.back(), "Self service was terminated.");
  EXPECT_THAT(lines, Not(Contains("Self service was successfully stopped.")));
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
}

TEST(SupervisorTest, InServiceModeTheStartAndStopReachTheEventLog) {
  WatchdogRig rig(kServiceMode);
  rig.WriteIni({"a||0|0"});
  rig.clock.SetOnSleep([&rig](milliseconds duration) {
    std::this_thread::yield();
    if (duration == kLoopDelayService) {
      rig.watchdog.StopFlag.Raise();
    }
  });
  gandry::Run(rig.watchdog);
  EXPECT_THAT(rig.events.messages(),
              ElementsAre("Self service was successfully started. Taked 1 item(s) for manage:"
                          "\n 1. [a||0|0]",
                          "Self service was successfully stopped."));
  EXPECT_THAT(rig.Lines(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace gandry::testing
