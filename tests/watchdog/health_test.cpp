#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/health_check.h"
#include "watchdog/monitor.h"
#include "watchdog/supervisor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using Probe = FakeHealthProbe;

constexpr char kTarget[] = "tcp://127.0.0.1:8080";

HealthCheck Check(int interval, int failures, int grace, int timeout = 2) {
  HealthCheck check;
  check.target = *ParseHealthTarget(kTarget).target;
  check.check_text = kTarget;
  check.interval_seconds = interval;
  check.timeout_seconds = timeout;
  check.failures = failures;
  check.grace_seconds = grace;
  return check;
}

std::string Failed(int count, int of, const std::string& why) {
  return "Health check of [svc] failed (" + std::to_string(count) + " of " + std::to_string(of) +
         "): " + why + ".";
}

// One running service "svc" that nobody else restarts, and a monitor of it that only checks
// its health: no attempts, no schedule, and loop pauses longer than any test here, so that
// every check comes from a pause woken for it.
struct HealthRig : WatchdogRig {
  HealthRig() {
    watchdog.settings.loop_delay_thread_ms = 3'600'000;
    services.Add("svc", ServiceState::kRunning);
    services.Modify("svc",
                    [this](auto& s) { s.on_start = [this] { starts.push_back(clock.TickMs()); }; });
  }

  std::shared_ptr<TSrvManThread> Monitor(const HealthCheck& check) {
    return *TSrvManThread::Start(watchdog, "svc||0|0", MonitorOrigin::kReload, check);
  }
  // Ends the monitor at `tick_ms` and waits for it.
  void EndAt(const std::shared_ptr<TSrvManThread>& monitor, std::int64_t tick_ms) {
    clock.At(tick_ms, [monitor] { monitor->Terminate(); });
    EXPECT_TRUE(monitor->WaitEnded(clock, kEndLimit));
  }
  int Runs() const { return probe.runs(*ParseHealthTarget(kTarget).target); }

  std::vector<std::int64_t> starts;  // the ticks of the service's starts
};

TEST(HealthCheckTest, CountsFailuresInARowAfterTheGraceAndRestartsAtTheLimit) {
  HealthRig rig;
  rig.probe.Script(
      *ParseHealthTarget(kTarget).target,
      {Probe::Fails(ProbeFailure::kRefused), Probe::Fails(ProbeFailure::kTimedOut, 2),
       Probe::Healthy(), Probe::Fails(ProbeFailure::kHttpStatus, 503),
       Probe::Fails(ProbeFailure::kExitCode, 3), Probe::Fails(ProbeFailure::kRefused)});
  // Found running at 0: checks from 10 s on, every 5 s; the sixth, at 35 s, is the third
  // failure in a row, and the restart brings a new grace.
  auto monitor = rig.Monitor(Check(5, 3, 10));
  std::vector<int> runs;
  int failed_after_two = -1;
  for (const std::int64_t tick : {9'999, 10'001, 44'999, 45'001}) {
    rig.clock.At(tick, [&] { runs.push_back(rig.Runs()); });
  }
  // The live state follows: the failures in a row, then the restart counted for its reason.
  std::vector<LiveItem> live;
  rig.clock.At(32'000, [&] {
    failed_after_two = monitor->failed_checks();
    live.push_back(rig.watchdog.live.Snapshot().at(0));
  });
  rig.clock.At(44'999, [&] { live.push_back(rig.watchdog.live.Snapshot().at(0)); });
  rig.EndAt(monitor, 46'000);

  EXPECT_THAT(runs, ElementsAre(0, 1, 6, 7));
  EXPECT_EQ(failed_after_two, 2);
  EXPECT_THAT(rig.Lines(),
              ElementsAre("start thread #1 of [svc]", Failed(1, 3, "connection refused"),
                          Failed(2, 3, "timed out after 2 s"), Failed(1, 3, "HTTP status 503"),
                          Failed(2, 3, "exit code 3"), Failed(3, 3, "connection refused"),
                          "Service [svc] failed 3 health checks in a row; restarting it.",
                          "Service [svc] successfully restarted after failed health checks.",
                          "stopping thread #1"));
  EXPECT_THAT(rig.starts, ElementsAre(35'000));
  EXPECT_EQ(rig.services.Get("svc").stops, 1);
  EXPECT_EQ(rig.probe.calls().front().timeout, std::chrono::seconds(2));
  EXPECT_EQ(monitor->health_restarts(), 1);
  EXPECT_EQ(monitor->scheduled_restarts(), 0);
  EXPECT_EQ(monitor->failed_checks(), 0);
  ASSERT_EQ(live.size(), 2u);
  EXPECT_EQ(live[0].health_failures, 2);
  EXPECT_EQ(live[1].health_failures, 0);
  EXPECT_EQ(live[1].starts, (std::array<std::uint64_t, kStartReasonCount>{0, 0, 1}));
}

TEST(HealthCheckTest, ChecksOnlyARunningServiceWhileTheWatchdogIsNotPaused) {
  HealthRig rig;
  rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kStopped; });
  auto monitor = rig.Monitor(Check(5, 1, 5));
  std::vector<int> runs;
  auto sample = [&] { runs.push_back(rig.Runs()); };
  // Stopped until 12 s; seen running at 15 s, so the first check comes at 20 s.
  rig.clock.At(12'000, [&] {
    sample();
    rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kRunning; });
  });
  rig.clock.At(19'999, sample);
  rig.clock.At(22'000, [&] {
    sample();
    rig.watchdog.pause_count.fetch_add(1);
    rig.watchdog.paused = true;
  });
  rig.clock.At(41'000, [&] {
    sample();
    rig.watchdog.paused = false;
  });
  rig.clock.At(46'000, [&] {
    sample();
    rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kStopped; });
  });
  rig.clock.At(56'000, sample);
  rig.EndAt(monitor, 56'000);

  EXPECT_THAT(runs, ElementsAre(0, 0, 1, 1, 2, 2));
  EXPECT_THAT(rig.starts, ::testing::IsEmpty());
}

TEST(HealthCheckTest, RestartsAreSpacedAndTheSpacingDoublesUntilACheckPasses) {
  HealthRig rig;
  rig.probe.SetFallback(Probe::Fails(ProbeFailure::kRefused));
  // No grace and one failure: spaced 5 s at the least, doubled after each restart that no
  // passing check followed, up to an hour.
  auto monitor = rig.Monitor(Check(5, 1, 0));
  constexpr std::int64_t kPassAt = 12'312'000;
  rig.clock.At(kPassAt, [&] { rig.probe.SetFallback(Probe::Healthy()); });
  rig.clock.At(kPassAt + 4'000,
               [&] { rig.probe.SetFallback(Probe::Fails(ProbeFailure::kRefused)); });
  rig.EndAt(monitor, kPassAt + 15'000);

  std::vector<std::int64_t> gaps;
  for (std::size_t i = 1; i < rig.starts.size(); ++i) {
    gaps.push_back((rig.starts[i] - rig.starts[i - 1]) / 1000);
  }
  EXPECT_THAT(gaps, ElementsAre(10, 20, 40, 80, 160, 320, 640, 1280, 2560, 3600, 3600, 10));
  EXPECT_EQ(monitor->health_restarts(), 13);
}

TEST(HealthCheckTest, ACheckEndsAtItsTimeoutAndAtOnceWhenTheMonitorIsToEnd) {
  HealthRig rig;
  rig.probe.SetFallback(Probe::Hangs());
  auto monitor = rig.Monitor(Check(120, 3, 0, 60));
  // The first check times out at 60 s; the second, from 120 s, is cut short at 130 s.
  rig.clock.At(130'000, [monitor] { monitor->Terminate(); });
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  EXPECT_EQ(rig.clock.TickMs(), 130'000);
  EXPECT_THAT(rig.Lines(), ElementsAre("start thread #1 of [svc]",
                                       Failed(1, 3, "timed out after 60 s"), "stopping thread #1"));
  ASSERT_EQ(rig.probe.calls().size(), 2u);
  EXPECT_EQ(rig.probe.calls().back().outcome.failure, ProbeFailure::kCancelled);
}

TEST(HealthCheckTest, AReloadReplacesTheMonitorOfAChangedSectionOnly) {
  WatchdogRig rig;
  rig.WriteIni({"keep||3|0", "change||3|0"});
  // Section names match the service in any letter case.
  for (const char* section : {"Health keep", "HEALTH Change"}) {
    rig.ini.AddLine(kIni, section, "Check", kTarget);
    rig.ini.AddLine(kIni, section, "Grace", "0");
  }
  rig.ini.AddLine(kIni, "HEALTH Change", "Timeout", "2");
  rig.services.Add("keep", ServiceState::kRunning);
  rig.services.Add("change", ServiceState::kRunning);
  constexpr std::int64_t kReloadAt = 60'000;
  rig.clock.At(kReloadAt, [&rig] {
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "health change", "Timeout", "3"));
    rig.watchdog.reload_requested = true;
    rig.watchdog.SupervisorWake.Raise();
  });
  rig.clock.At(kReloadAt + 1'000, [&rig] { rig.watchdog.StopFlag.Raise(); });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);

  const auto lines = rig.Lines();
  EXPECT_THAT(lines, Contains("Configuration reloaded: 2 item(s) watched, 1 added, 1 removed."));
  EXPECT_THAT(lines, Contains("start thread #3 of [change]"));
  EXPECT_THAT(lines, Not(Contains("start thread #3 of [keep]")));
  // The new monitor checks at once with the new time-out; the section is never written.
  EXPECT_EQ(rig.probe.calls().back().timeout, std::chrono::seconds(3));
  EXPECT_EQ(rig.ini.Value(kIni, "Health keep", "Check"), kTarget);
  EXPECT_EQ(rig.ini.Value(kIni, "Health keep", "Interval"), std::nullopt);
  EXPECT_EQ(rig.ini.Value(kIni, "HEALTH Change", "Timeout"), "3");
}

}  // namespace
}  // namespace gandry::testing
