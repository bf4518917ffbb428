#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "watchdog/monitor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using Service = FakeServiceManager::Service;

// Runs one monitor of `item` until `end_ms` on the fake clock, then asks it to end, and gives
// what reached the event log. The rig runs in service mode, so that is all a line says.
std::vector<std::string> RunUntil(WatchdogRig& rig, const std::string& item, std::int64_t end_ms) {
  auto monitor = *TSrvManThread::Start(rig.watchdog, item);
  rig.clock.At(end_ms, [monitor] { monitor->Terminate(); });
  EXPECT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  return rig.events.messages();
}

// The first check comes at 7 s; a stop that hangs is given up 30 s later.
TEST(HungServiceTest, KillEndsTheOwnProcessOfAHungStopAndTheRestartGoesOnLeaveDoesNothing) {
  for (const bool kill : {true, false}) {
    WatchdogRig rig(kServiceMode);
    rig.watchdog.settings.kill_hung = kill;
    rig.services.Add("svc", ServiceState::kRunning);
    rig.services.Modify("svc", [](Service& s) {
      s.process_id = 4242;
      s.hang_stop_pending = true;
    });
    const auto events = RunUntil(rig, "svc||0|-1", 40'000);
    const Service svc = rig.services.Get("svc");
    if (kill) {
      EXPECT_THAT(events,
                  ElementsAre("Service [svc] hung in stop pending; its process 4242 was ended.",
                              StartsWith("Service [svc] successfully restarted.")));
      EXPECT_EQ(svc.processes_ended, 1);
      EXPECT_EQ(svc.state, ServiceState::kRunning);
      EXPECT_EQ(svc.starts, 1);
    } else {
      EXPECT_THAT(events, IsEmpty());
      EXPECT_EQ(svc.processes_ended, 0);
      EXPECT_EQ(svc.state, ServiceState::kStopPending);
      EXPECT_EQ(svc.starts, 0);
    }
  }
}

// The monitor's own looks find the hang, and its attempts start the service once it is ended.
TEST(HungServiceTest, AStartThatHangsBetweenLooksIsEndedAndStartedByTheAttempts) {
  WatchdogRig rig(kServiceMode);
  rig.watchdog.settings.kill_hung = true;
  rig.services.Add("svc", ServiceState::kStartPending);
  rig.services.Modify("svc", [](Service& s) {
    s.process_id = 77;
    s.hang_start_pending = true;
    s.on_start = [&s] { s.hang_start_pending = false; };
  });
  EXPECT_THAT(RunUntil(rig, "svc||3|0", 60'000),
              ElementsAre("Service [svc] hung in start pending; its process 77 was ended.",
                          "Service [svc] successfully started by 3 attempt(s)."));
  EXPECT_EQ(rig.services.Get("svc").state, ServiceState::kRunning);
}

// Wine's service manager goes on reporting the id of a process that was ended, and that id may
// belong to another process by then: it is never ended a second time.
TEST(HungServiceTest, AnIdStillReportedAfterItsProcessWasEndedIsNeverEndedAgain) {
  WatchdogRig rig(kServiceMode);
  rig.watchdog.settings.kill_hung = true;
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Modify("svc", [](Service& s) {
    s.process_id = 4242;
    s.hang_stop_pending = true;
    s.keeps_status_after_end = true;
  });
  RunUntil(rig, "svc||3|-1", 300'000);
  EXPECT_EQ(rig.services.Get("svc").processes_ended, 1);
}

// Once per hang: through every later restart and look of the same hang, and again only after
// the service made progress and hung anew.
TEST(HungServiceTest, ASharedProcessIsNeverEndedAndSaidOncePerHang) {
  const std::vector<std::function<void(FakeServiceManager&)>> sharings = {
      [](FakeServiceManager& services) {
        services.Modify("svc", [](Service& s) { s.shares_process = true; });
      },
      [](FakeServiceManager& services) {
        services.Add("host", ServiceState::kRunning);
        services.Modify("host", [](Service& s) { s.process_id = 500; });
      },
  };
  for (const auto& share : sharings) {
    WatchdogRig rig(kServiceMode);
    rig.watchdog.settings.kill_hung = true;
    rig.services.Add("svc", ServiceState::kRunning);
    rig.services.Modify("svc", [](Service& s) {
      s.process_id = 500;
      s.hang_stop_pending = true;
    });
    share(rig.services);
    rig.clock.At(150'000,
                 [&rig] { rig.services.Modify("svc", [](Service& s) { ++s.check_point; }); });
    const std::string left =
        "Service [svc] hung in stop pending; it shares its process with other services, so it "
        "was left alone.";
    EXPECT_THAT(RunUntil(rig, "svc||3|-1", 250'000), ElementsAre(left, left));
    EXPECT_EQ(rig.services.Get("svc").processes_ended, 0);
    EXPECT_EQ(rig.services.Get("svc").state, ServiceState::kStopPending);
  }
}

// svc <- a <- b, and c, which is stopped.
void AddDependents(FakeServiceManager& services) {
  services.Add("svc", ServiceState::kRunning);
  services.Add("a", ServiceState::kRunning);
  services.Add("b", ServiceState::kRunning);
  services.Add("c", ServiceState::kStopped);
  services.Modify("a", [](Service& s) { s.depends_on = {"svc"}; });
  services.Modify("b", [](Service& s) { s.depends_on = {"a"}; });
  services.Modify("c", [](Service& s) { s.depends_on = {"svc"}; });
}

TEST(DependentServicesTest, ARestartStopsTheRunningDependentsFirstAndStartsThemInReverse) {
  WatchdogRig rig(kServiceMode);
  AddDependents(rig.services);
  EXPECT_THAT(RunUntil(rig, "svc||0|-1", 10'000),
              ElementsAre("Dependent services of [svc] were stopped and started again: b, a.",
                          StartsWith("Service [svc] successfully restarted.")));
  EXPECT_THAT(rig.services.journal,
              ElementsAre("stop b", "stop a", "stop svc", "start svc", "start a", "start b"));
}

TEST(DependentServicesTest, ADependentThatRefusesItsStopFailsTheRestartAndWhatStoppedStarts) {
  WatchdogRig rig(kServiceMode);
  AddDependents(rig.services);
  rig.services.Modify("a", [](Service& s) { s.refuse = win_error::kInvalidServiceControl; });
  EXPECT_THAT(RunUntil(rig, "svc||0|-1", 10'000),
              ElementsAre("Service [a] was not restarted: its stop was refused (error 1052).",
                          "Dependent services of [svc] were stopped and started again: b."));
  EXPECT_THAT(rig.services.journal, ElementsAre("stop b", "start b"));
  EXPECT_EQ(rig.services.Get("b").state, ServiceState::kRunning);
}

}  // namespace
}  // namespace gandry::testing
