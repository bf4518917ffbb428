#include "watchdog/monitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "watchdog/zt_utils.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The tick at which the monitor's loop pause `pause` (from 1) begins, while its service
// operations take no time: the first check comes after the start delay.
std::int64_t PauseStart(int pause) {
  return kStartDelayThread.count() + (pause - 1) * kLoopDelayThread.count();
}

// Runs one monitor until its body has made `passes` passes (two pauses each). `script` is
// called at the start of each of the monitor's loop pauses with its number from 1: pause 2k-1
// lies just before the start attempts of pass k, pause 2k just before the scheduled restart of
// pass k+1. The monitor is asked to end at the start of pause 2 * passes.
std::vector<std::string> RunPasses(WatchdogRig& rig, const std::string& item, int passes,
                                   const std::function<void(int)>& script = {}) {
  const std::int64_t begin = rig.clock.TickMs();
  auto monitor = *TSrvManThread::Start(rig.watchdog, item);
  for (int pause = 1; pause <= 2 * passes; ++pause) {
    rig.clock.At(begin + PauseStart(pause), [script, monitor, pause, passes] {
      if (script) {
        script(pause);
      }
      if (pause == 2 * passes) {
        monitor->Terminate();
      }
    });
  }
  EXPECT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  return rig.Lines();
}

std::string Expired(int attempts, const std::string& name) {
  return "Attempts (" + std::to_string(attempts) + ") to start service [" + name + "] is expired.";
}

TEST(MonitorTest, ReadsItsItemAndNumbersItselfFromTheRunningCount) {
  WatchdogRig rig;
  rig.watchdog.RunningMonitors = 4;
  auto monitor = *TSrvManThread::Start(rig.watchdog, "Spooler|Print spooler|3|1440|x");
  monitor->Terminate();
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  EXPECT_EQ(monitor->service_name(), "Spooler");
  EXPECT_EQ(monitor->attempt_limit(), 3);
  EXPECT_EQ(monitor->restart_period(), 1440);
  EXPECT_THAT(rig.Lines(), ElementsAre("start thread #5 of [Spooler]", "stopping thread #5"));
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 4);
  EXPECT_FALSE(rig.watchdog.StopFlag.IsRaised());
}

TEST(MonitorTest, GivesUpAfterItsAttemptsAndSaysSoOnEveryPass) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  rig.services.Modify("svc", [](auto& s) { s.start_fails = true; });
  const auto lines = RunPasses(rig, "svc||3|0", 6);
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]", Expired(3, "svc"), Expired(3, "svc"),
                                 Expired(3, "svc"), "stopping thread #1"));
  EXPECT_EQ(rig.services.Get("svc").starts, 3);
  EXPECT_EQ(rig.services.Get("svc").stops, 0);
}

TEST(MonitorTest, OwnSuccessfulStartRestoresAllAttempts) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  // Passes 1-6: fail, fail, succeed, then stopped again: fail, fail, succeed.
  const auto lines = RunPasses(rig, "svc||3|0", 6, [&rig](int pause) {
    const int pass = (pause + 1) / 2;
    if (pause % 2 == 1) {
      rig.services.Modify("svc", [pass](auto& s) { s.start_fails = pass % 3 != 0; });
    } else if (pass == 3) {
      rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kStopped; });
    }
  });
  const std::string started = "Service [svc] successfully started by 3 attempt(s).";
  EXPECT_THAT(lines,
              ElementsAre("start thread #1 of [svc]", started, started, "stopping thread #1"));
  EXPECT_EQ(rig.services.Get("svc").starts, 6);
}

TEST(MonitorTest, StartsByOthersDoNotRestoreAttempts) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  rig.services.Modify("svc", [](auto& s) { s.start_fails = true; });
  // After two failures somebody else starts the service, and later it stops again.
  const auto lines = RunPasses(rig, "svc||2|0", 5, [&rig](int pause) {
    if (pause == 4) {
      rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kRunning; });
    } else if (pause == 6) {
      rig.services.Modify("svc", [](auto& s) { s.state = ServiceState::kStopped; });
    }
  });
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]", Expired(2, "svc"), Expired(2, "svc"),
                                 "stopping thread #1"));
  EXPECT_EQ(rig.services.Get("svc").starts, 2);
}

TEST(MonitorTest, OverdueScheduleCatchesUpOneRestartPerPass) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kRunning);
  std::vector<int> stops_by_pass;
  const auto lines = RunPasses(rig, "svc||0|60", 5, [&rig, &stops_by_pass](int pause) {
    if (pause == 1) {
      rig.clock.Advance(std::chrono::minutes(150));
    }
    if (pause % 2 == 1) {
      stops_by_pass.push_back(rig.services.Get("svc").stops);
    }
  });
  const double first_check = 46000.5 + 7000.0 / 86'400'000.0;
  const double second = AddMinutes(60, AddMinutes(60, first_check));
  const double third = AddMinutes(60, second);
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]",
                                 "Service [svc] successfully restarted. Next restart at " +
                                     rig.log.Format(second) + ".",
                                 "Service [svc] successfully restarted. Next restart at " +
                                     rig.log.Format(third) + ".",
                                 "stopping thread #1"));
  EXPECT_THAT(stops_by_pass, ElementsAre(0, 1, 2, 2, 2));
  EXPECT_EQ(rig.services.Get("svc").state, ServiceState::kRunning);
}

// The local time of the first check, and a restart line naming the next restart `minutes`
// after it.
std::string RestartedNext(WatchdogRig& rig, int minutes) {
  const double first_check = 46000.5 + 7000.0 / 86'400'000.0;
  return "Service [svc] successfully restarted. Next restart at " +
         rig.log.Format(AddMinutes(minutes, first_check)) + ".";
}

// A script that makes an hourly schedule due from pass 2 on.
std::function<void(int)> DueFromPass2(WatchdogRig& rig) {
  return [&rig](int pause) {
    if (pause == 1) {
      rig.clock.Advance(std::chrono::minutes(61));
    }
  };
}

TEST(MonitorTest, ContinueAfterALongPauseRestartsOnceAndKeepsTheGrid) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kRunning);
  const auto lines = RunPasses(rig, "svc||0|60", 5, [&rig](int pause) {
    if (pause == 1) {
      rig.watchdog.paused = true;
      ++rig.watchdog.pause_count;
      rig.clock.Advance(std::chrono::hours(24));
    } else if (pause == 2) {
      rig.watchdog.paused = false;
    }
  });
  // Made at pass 2, a day and ten seconds in; the grid's next point is 25 periods on.
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]", RestartedNext(rig, 25 * 60),
                                 "stopping thread #1"));
  EXPECT_EQ(rig.services.Get("svc").stops, 1);
}

TEST(MonitorTest, ScheduleFollowsElapsedTimeWhenTheLocalClockJumps) {
  WatchdogRig ahead;
  ahead.services.Add("svc", ServiceState::kRunning);
  // An hour forward is no hour passed.
  EXPECT_THAT(RunPasses(ahead, "svc||0|60", 3,
                        [&ahead](int pause) {
                          if (pause == 1) {
                            ahead.clock.JumpLocalTime(std::chrono::minutes(61));
                          }
                        }),
              ElementsAre("start thread #1 of [svc]", "stopping thread #1"));

  WatchdogRig back;
  back.services.Add("svc", ServiceState::kRunning);
  const auto lines = RunPasses(back, "svc||0|60", 2, [&back](int pause) {
    if (pause == 1) {
      back.clock.JumpLocalTime(-std::chrono::hours(1));
      back.clock.Advance(std::chrono::minutes(60));
    }
  });
  // Due after its hour all the same; the next time is told in the local time shown now.
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]", RestartedNext(back, 60),
                                 "stopping thread #1"));
}

// Said once for each refusal, and again only after a restart went through or the error changed.
TEST(MonitorTest, ARefusedStopIsNoRestartAndIsLoggedOnce) {
  WatchdogRig rig(kServiceMode);
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Modify("svc", [](auto& s) { s.refuse = win_error::kDependentServicesRunning; });
  // A restart on every pass; pass 3 is refused with another error, pass 4 goes through.
  RunPasses(rig, "svc||0|-1", 5, [&rig](int pause) {
    using namespace win_error;
    const std::uint32_t refusals[] = {kDependentServicesRunning, kInvalidServiceControl, 0,
                                      kInvalidServiceControl};
    if (pause % 2 == 0 && pause <= 8) {
      rig.services.Modify("svc", [&](auto& s) { s.refuse = refusals[pause / 2 - 1]; });
    }
  });
  const auto refused = [](int error) {
    return "Service [svc] was not restarted: its stop was refused (error " + std::to_string(error) +
           ").";
  };
  const auto events = rig.events.messages();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], refused(win_error::kDependentServicesRunning));
  EXPECT_EQ(events[1], refused(win_error::kInvalidServiceControl));
  EXPECT_THAT(events[2], ::testing::StartsWith("Service [svc] successfully restarted."));
  EXPECT_EQ(events[3], refused(win_error::kInvalidServiceControl));
  EXPECT_EQ(rig.services.Get("svc").stops, 5);
  EXPECT_EQ(rig.services.Get("svc").starts, 1);
}

// Neither the stop could be sent nor the state then learnt: the service may well be running.
TEST(MonitorTest, ARestartStartsOnlyAServiceKnownToBeStopped) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Modify("svc", [](auto& s) {
    // The open for the stop and the query after it fail, once.
    s.open_fails = [left = 2](ServiceAccess access) mutable {
      if (access != ServiceAccess::kQueryAndStop && left == 2) {
        return false;
      }
      return left > 0 && left-- > 0;
    };
  });
  const auto lines = RunPasses(rig, "svc||0|60", 3, DueFromPass2(rig));
  // Pass 2 failed and left the schedule as it was; pass 3 made the restart.
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]", RestartedNext(rig, 120),
                                 "stopping thread #1"));
  EXPECT_EQ(rig.services.Get("svc").stops, 1);
  EXPECT_EQ(rig.services.Get("svc").starts, 1);
}

TEST(MonitorTest, NegativePeriodRestartsOnEveryPassAndStartsAStoppedService) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  const auto lines = RunPasses(rig, "svc||0|-1", 4);
  EXPECT_EQ(lines.size(), 6u);
  EXPECT_EQ(rig.services.Get("svc").starts, 4);
  EXPECT_EQ(rig.services.Get("svc").stops, 4);
  EXPECT_EQ(rig.services.Get("svc").state, ServiceState::kRunning);
}

TEST(MonitorTest, FailedRestartIsTriedAgainOnTheNextPass) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Modify("svc", [](auto& s) { s.start_fails = true; });
  const auto lines = RunPasses(rig, "svc||0|60", 3, DueFromPass2(rig));
  EXPECT_THAT(lines, ElementsAre("start thread #1 of [svc]", "stopping thread #1"));
  // Pass 1 is not yet due; passes 2 and 3 try.
  EXPECT_EQ(rig.services.Get("svc").starts, 2);
}

TEST(MonitorTest, LeavesPendingPausedAndUnknownStatesAlone) {
  const std::vector<std::function<void(FakeServiceManager::Service&)>> setups = {
      [](auto& s) { s.state = ServiceState::kPaused; },
      [](auto& s) {
        s.state = ServiceState::kStartPending;
        s.hang_start_pending = true;
      },
      [](auto& s) { s.query_fails = true; },
  };
  for (const auto& setup : setups) {
    WatchdogRig rig;
    rig.services.Add("svc", ServiceState::kStopped);
    rig.services.Modify("svc", setup);
    const auto lines = RunPasses(rig, "svc||3|-1", 3);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(rig.services.Get("svc").starts, 0);
    EXPECT_EQ(rig.services.Get("svc").stops, 0);
  }
}

TEST(MonitorTest, WhilePausedNeitherStartsNorRestarts) {
  WatchdogRig rig;
  rig.services.Add("stopped", ServiceState::kStopped);
  rig.services.Add("running", ServiceState::kRunning);
  rig.watchdog.paused = true;
  auto resume_after_two_passes = [&rig](int pause) {
    if (pause == 4) {
      rig.watchdog.paused = false;
    }
  };
  RunPasses(rig, "stopped||3|0", 2);
  RunPasses(rig, "running||0|-1", 2);
  EXPECT_EQ(rig.services.Get("stopped").starts, 0);
  EXPECT_EQ(rig.services.Get("running").stops, 0);

  RunPasses(rig, "stopped||3|0", 3, resume_after_two_passes);
  EXPECT_EQ(rig.services.Get("stopped").starts, 1);
  rig.watchdog.paused = true;
  RunPasses(rig, "running||0|-1", 3, resume_after_two_passes);
  EXPECT_EQ(rig.services.Get("running").stops, 1);
}

TEST(MonitorTest, TerminateDuringTheStartDelayEndsWithoutTouchingTheService) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|-1");
  rig.clock.At(1000, [monitor] { monitor->Terminate(); });
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  EXPECT_EQ(rig.services.Get("svc").opens, 0);
  EXPECT_EQ(rig.clock.TickMs(), 1000);
  EXPECT_THAT(rig.Lines(), ElementsAre("start thread #1 of [svc]", "stopping thread #1"));
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 0);
  EXPECT_TRUE(rig.watchdog.StopFlag.IsRaised());
}

TEST(MonitorTest, TerminateDuringALoopPauseEndsAtOnce) {
  for (const int terminate_at : {1, 2, 3, 4}) {
    WatchdogRig rig;
    rig.services.Add("svc", ServiceState::kStopped);
    rig.services.Modify("svc", [](auto& s) { s.start_fails = true; });
    auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||5|0");
    int opens_at_terminate = -1;
    const std::int64_t when = PauseStart(terminate_at) + 1000;
    rig.clock.At(when, [&rig, &opens_at_terminate, monitor] {
      opens_at_terminate = rig.services.Get("svc").opens;
      monitor->Terminate();
    });
    ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
    EXPECT_EQ(rig.clock.TickMs(), when);
    EXPECT_EQ(rig.services.Get("svc").opens, opens_at_terminate);
    EXPECT_TRUE(rig.watchdog.StopFlag.IsRaised());
  }
}

TEST(MonitorTest, TerminateCancelsAStartWaitOfTheAttempts) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  rig.services.Modify("svc", [](auto& s) { s.hang_start_pending = true; });
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|0");
  // The start of pass 1 is under way: its wait polls every 100 ms.
  rig.clock.At(PauseStart(2) + 250, [monitor] { monitor->Terminate(); });
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  EXPECT_EQ(rig.clock.TickMs(), PauseStart(2) + 250);
  EXPECT_EQ(rig.services.Get("svc").queries, 4);  // the check, then three polls
}

TEST(MonitorTest, TerminateDuringAScheduledRestartStillStartsTheService) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Modify("svc", [](auto& s) {
    s.stop_pending_polls = 3;
    s.start_pending_polls = 3;
  });
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||0|-1");
  // During the first poll of the stop wait.
  rig.clock.At(PauseStart(1) + 50, [monitor] { monitor->Terminate(); });
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  const auto svc = rig.services.Get("svc");
  EXPECT_EQ(svc.state, ServiceState::kRunning);
  EXPECT_EQ(svc.stops, 1);
  EXPECT_EQ(svc.starts, 1);
  const auto lines = rig.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[1], ::testing::StartsWith("Service [svc] successfully restarted."));
}

TEST(MonitorTest, OnlyTheLastEndingMonitorRaisesStopFlag) {
  WatchdogRig rig;
  rig.services.Add("a", ServiceState::kRunning);
  rig.services.Add("b", ServiceState::kRunning);
  auto first = *TSrvManThread::Start(rig.watchdog, "a||0|0");
  auto second = *TSrvManThread::Start(rig.watchdog, "b||0|0");
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 2);
  first->Terminate();
  ASSERT_TRUE(first->WaitEnded(rig.clock, kEndLimit));
  EXPECT_FALSE(rig.watchdog.StopFlag.IsRaised());
  EXPECT_EQ(rig.watchdog.RunningMonitors.load(), 1);
  second->Terminate();
  ASSERT_TRUE(second->WaitEnded(rig.clock, kEndLimit));
  EXPECT_TRUE(rig.watchdog.StopFlag.IsRaised());
  const auto lines = rig.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "start thread #1 of [a]");
  EXPECT_EQ(lines[1], "start thread #2 of [b]");
}

TEST(MonitorTest, InServiceModeOnlyOutcomesReachTheEventLog) {
  WatchdogRig rig(kServiceMode);
  rig.services.Add("svc", ServiceState::kStopped);
  rig.services.Modify("svc", [](auto& s) { s.start_fails = true; });
  EXPECT_THAT(RunPasses(rig, "svc||2|0", 4), IsEmpty());
  EXPECT_THAT(rig.events.messages(), ElementsAre(Expired(2, "svc"), Expired(2, "svc")));
}

}  // namespace
}  // namespace gandry::testing
