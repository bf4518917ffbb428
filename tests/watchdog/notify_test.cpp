#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "watchdog/monitor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

constexpr std::int64_t kFirstPause = kStartDelayThread.count();
const std::string kStarted = "Service [svc] successfully started by 3 attempt(s).";

struct NotifyRig : WatchdogRig {
  explicit NotifyRig(ServiceState state = ServiceState::kRunning) {
    watchdog.settings.notify = true;
    services.Add("svc", state);
  }
  void StopAt(std::int64_t tick) {
    clock.At(tick,
             [this] { services.Modify("svc", [](auto& s) { s.state = ServiceState::kStopped; }); });
  }
  int StartsAt(std::int64_t tick) {
    int starts = -1;
    clock.At(tick, [this, &starts] { starts = services.Get("svc").starts; });
    clock.RunUntil([&] { return starts >= 0; });
    return starts;
  }
  void End(const std::shared_ptr<TSrvManThread>& monitor) {
    monitor->Terminate();
    ASSERT_TRUE(monitor->WaitEnded(clock, kEndLimit));
  }
};

TEST(NotifyTest, AReportedStopIsStartedAtOnceAndTheWatchEndsWithTheMonitor) {
  NotifyRig rig;
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|0");
  const std::int64_t stop = kFirstPause + 1234;
  rig.StopAt(stop);
  EXPECT_EQ(rig.StartsAt(stop + 1), 1);
  EXPECT_EQ(rig.services.Get("svc").state, ServiceState::kRunning);
  EXPECT_EQ(rig.services.open_watches(), 1);
  rig.End(monitor);
  EXPECT_EQ(rig.services.open_watches(), 0);
  EXPECT_THAT(rig.Lines(), ElementsAre("start thread #1 of [svc]", kStarted, "stopping thread #1"));

  // Polling makes no subscription and waits for its pass.
  NotifyRig polling;
  polling.watchdog.settings.notify = false;
  monitor = *TSrvManThread::Start(polling.watchdog, "svc||3|0");
  polling.StopAt(stop);
  EXPECT_EQ(polling.StartsAt(kFirstPause + kLoopDelayThread.count() - 1), 0);
  EXPECT_EQ(polling.StartsAt(kFirstPause + kLoopDelayThread.count() + 1), 1);
  polling.End(monitor);
  EXPECT_EQ(polling.services.Get("svc").watches, 0);
}

TEST(NotifyTest, NoStartWhilePausedNorForTheMonitorsOwnRestart) {
  NotifyRig rig;
  rig.watchdog.paused = true;
  // Restarts every minute once it may.
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|1");
  rig.StopAt(kFirstPause + 1000);
  EXPECT_EQ(rig.StartsAt(kFirstPause + 2000), 0);
  rig.clock.At(kFirstPause + 3000, [&rig] {
    rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kRunning; });
    rig.watchdog.paused = false;
  });
  EXPECT_EQ(rig.StartsAt(70'000), 1);
  const auto svc = rig.services.Get("svc");
  EXPECT_EQ(svc.stops, 1);
  EXPECT_EQ(svc.state, ServiceState::kRunning);
  rig.End(monitor);
  EXPECT_THAT(rig.Lines(), Not(Contains(kStarted)));
}

TEST(NotifyTest, StartsOfAServiceThatKeepsDyingAreSpacedOutUntilItStaysUp) {
  NotifyRig rig;
  std::vector<std::int64_t> starts;
  const auto kill = [&rig] {
    rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kStopped; });
  };
  // Dies as soon as it runs, but for the sixth start, which it survives for a while.
  rig.services.Modify("svc", [&](auto& s) {
    s.on_start = [&] {
      starts.push_back(rig.clock.TickMs());
      if (starts.size() != 6) {
        rig.clock.At(starts.back(), kill);
      }
    };
  });
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||100|0");
  rig.clock.At(kFirstPause + 1000, kill);
  ASSERT_TRUE(rig.clock.RunUntil([&] { return starts.size() == 6; }));
  const std::int64_t stop = starts.back() + 3 * kLoopDelayThread.count();
  rig.clock.At(stop, kill);
  ASSERT_TRUE(rig.clock.RunUntil([&] { return starts.size() == 8; }));
  rig.End(monitor);

  std::vector<std::int64_t> gaps;
  for (std::size_t i = 1; i < starts.size(); ++i) {
    gaps.push_back(starts[i] - starts[i - 1]);
  }
  EXPECT_EQ(starts[0], kFirstPause + 1000);
  // Doubling up to a pause; after staying up, at once and then one second again.
  EXPECT_THAT(gaps, ElementsAre(1000, 2000, 4000, 5000, 5000, stop - starts[5], 1000));
  EXPECT_EQ(starts[6], stop);
}

TEST(NotifyTest, AFailedOrEndedSubscriptionFallsBackToPolling) {
  const std::int64_t stop = kFirstPause + 1000;
  const std::int64_t pass = kFirstPause + kLoopDelayThread.count();
  {
    NotifyRig rig;
    rig.services.Modify("svc", [](auto& s) { s.watch_fails = true; });
    auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|0");
    rig.StopAt(stop);
    EXPECT_EQ(rig.StartsAt(pass - 1), 0);
    EXPECT_EQ(rig.StartsAt(pass + 1), 1);
    rig.End(monitor);
    EXPECT_THAT(rig.Lines(),
                Contains("Service [svc] cannot be watched (error 120); it is polled."));
  }
  {
    NotifyRig rig;
    auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|0");
    rig.clock.At(stop - 500, [&rig] { rig.services.Delete("svc"); });
    rig.StopAt(stop);
    EXPECT_EQ(rig.StartsAt(pass - 1), 0);
    EXPECT_EQ(rig.services.open_watches(), 0);
    EXPECT_EQ(rig.StartsAt(pass + 1), 1);
    rig.End(monitor);
    EXPECT_EQ(rig.services.Get("svc").watches, 1) << "a deleted service is not watched again";
    EXPECT_THAT(rig.Lines(), Contains("Service [svc] was deleted; it is polled from now on."));
  }
  {
    NotifyRig rig;
    auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|0");
    rig.clock.At(stop - 500,
                 [&rig] { rig.services.FailWatches("svc", win_error::kRpcCallFailed); });
    rig.StopAt(stop);
    EXPECT_EQ(rig.StartsAt(pass - 1), 0);
    EXPECT_EQ(rig.StartsAt(pass + 1), 1);
    rig.End(monitor);
    EXPECT_EQ(rig.services.Get("svc").watches, 1);
    EXPECT_THAT(rig.Lines(),
                Contains("Service [svc] cannot be watched (error 1726); it is polled."));
  }
}

}  // namespace
}  // namespace gandry::testing
