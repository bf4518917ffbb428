#include "watchdog/service_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "watchdog/monitor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

constexpr std::chrono::seconds kWaitLimit{30};

class RecordingReporter final : public ServiceStatusReporter {
 public:
  void Report(const ServiceStatusRecord& status) override {
    std::lock_guard lock(mutex_);
    reports_.push_back(status);
    changed_.notify_all();
  }
  std::vector<ServiceStatusRecord> reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  std::vector<ServiceState> states() {
    std::vector<ServiceState> states;
    for (const auto& report : reports()) {
      states.push_back(report.state);
    }
    return states;
  }
  bool WaitForState(ServiceState state) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWaitLimit,
                             [&] { return !reports_.empty() && reports_.back().state == state; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ServiceStatusRecord> reports_;
};

// A service serving one item on its own thread, as the dispatcher would run it.
struct ServingRig {
  ServingRig() : control(rig.watchdog, reporter) {
    rig.WriteIni({"a||0|0"});
    serving = std::thread([this] { control.Serve(); });
    EXPECT_TRUE(reporter.WaitForState(ServiceState::kRunning));
  }
  ~ServingRig() {
    rig.watchdog.StopFlag.Raise();
    serving.join();
  }

  WatchdogRig rig{kServiceMode};
  RecordingReporter reporter;
  ServiceControl control;
  std::thread serving;
};

TEST(ServiceControlTest, WithoutItemsGoesFromRunningStraightToStopped) {
  WatchdogRig rig(kServiceMode);
  RecordingReporter reporter;
  ServiceControl control(rig.watchdog, reporter);
  control.Serve();
  // Stopped is Serve's own last word: controls that come after it report nothing more.
  for (const auto request : {ServiceRequest::kInterrogate, ServiceRequest::kPause,
                             ServiceRequest::kContinue, ServiceRequest::kStop}) {
    control.Control(request);
  }
  const auto reports = reporter.reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_THAT(reporter.states(), ElementsAre(ServiceState::kStartPending, ServiceState::kRunning,
                                             ServiceState::kStopped));
  for (const auto& report : reports) {
    EXPECT_TRUE(report.accepts.stop && report.accepts.pause_continue && report.accepts.shutdown &&
                report.accepts.param_change);
    EXPECT_EQ(report.service_exit_code, 0u);
    EXPECT_EQ(report.check_point, 0u);
    EXPECT_EQ(report.wait_hint_ms, 1000u);
  }
  EXPECT_THAT(rig.events.messages(), ElementsAre("Nothing to do. Exiting."));
}

// Not taken for an empty list, which would end the run as a success: recovery tries again.
TEST(ServiceControlTest, AGandryIniThatCannotBeReadFailsTheRunAndIsNotWritten) {
  WatchdogRig rig(kServiceMode);
  rig.ini.AddLine(kIni, "Settings", "LoopDelayThread", "4");
  rig.ini.unreadable[kIni] = win_error::kAccessDenied;
  RecordingReporter reporter;
  ServiceControl control(rig.watchdog, reporter);
  control.Serve();
  EXPECT_EQ(reporter.reports().back().state, ServiceState::kStopped);
  EXPECT_EQ(reporter.reports().back().service_exit_code, kServiceExitRunFailed);
  EXPECT_THAT(rig.events.messages(),
              ElementsAre("Configuration not loaded: Gandry.ini cannot be read (error 5)."));
  EXPECT_EQ(rig.ini.writes(), 0);
}

TEST(ServiceControlTest, ARunEndedByAnErrorStopsWithAServiceSpecificCodeAsItsLastAct) {
  WatchdogRig rig(kServiceMode);
  rig.WriteIni({"a||0|0"});
  rig.threads.SetFailure(win_error::kNotEnoughMemory,
                         1);  // the first thread is the stop-pending pulse
  // As the dispatcher may: the stopped report lets the main thread free the control at once.
  class FreeingReporter final : public ServiceStatusReporter {
   public:
    void Report(const ServiceStatusRecord& status) override {
      if (status.state == ServiceState::kStopped) {
        control.reset();
      }
      last = status;  // the record reported must outlive the control
    }
    std::unique_ptr<ServiceControl> control;
    ServiceStatusRecord last;
  } reporter;
  reporter.control = std::make_unique<ServiceControl>(rig.watchdog, reporter);
  reporter.control->Serve();
  EXPECT_EQ(reporter.control, nullptr);
  EXPECT_EQ(reporter.last.state, ServiceState::kStopped);
  EXPECT_EQ(reporter.last.service_exit_code, 1u);
  EXPECT_EQ(rig.events.messages().back(), "Self service was terminated.");
}

TEST(ServiceControlTest, StopReportsStopPendingAtOnceWithAdvancingCheckPointsUntilStopped) {
  ServingRig serving;
  const std::size_t before = serving.reporter.reports().size();
  serving.control.Control(ServiceRequest::kStop);
  // Reported before the handler returned.
  const auto at_request = serving.reporter.reports();
  ASSERT_GT(at_request.size(), before);
  EXPECT_EQ(at_request[before].state, ServiceState::kStopPending);
  EXPECT_EQ(at_request[before].check_point, 1u);
  EXPECT_TRUE(serving.rig.watchdog.StopFlag.IsRaised());

  ASSERT_TRUE(serving.reporter.WaitForState(ServiceState::kStopped));
  const auto reports = serving.reporter.reports();
  std::uint32_t check_point = 0;
  for (std::size_t i = 2; i + 1 < reports.size(); ++i) {
    EXPECT_EQ(reports[i].state, ServiceState::kStopPending);
    EXPECT_GT(reports[i].check_point, check_point);
    check_point = reports[i].check_point;
  }
  EXPECT_EQ(reports.back().check_point, 0u);
  EXPECT_EQ(serving.rig.events.messages().back(), "Self service was successfully stopped.");
}

TEST(ServiceControlTest, PauseContinueAndInterrogate) {
  ServingRig serving;
  const std::size_t before = serving.reporter.reports().size();
  serving.control.Control(ServiceRequest::kPause);
  EXPECT_TRUE(serving.rig.watchdog.paused.load());
  serving.control.Control(ServiceRequest::kInterrogate);
  serving.control.Control(ServiceRequest::kContinue);
  EXPECT_FALSE(serving.rig.watchdog.paused.load());
  serving.control.Control(ServiceRequest::kInterrogate);
  serving.control.Control(ServiceRequest::kOther);  // not a control of ours: no report

  const auto reports = serving.reporter.reports();
  ASSERT_EQ(reports.size(), before + 4);
  EXPECT_EQ(reports[before].state, ServiceState::kPaused);
  EXPECT_EQ(reports[before + 1].state, ServiceState::kPaused);
  EXPECT_EQ(reports[before + 2].state, ServiceState::kRunning);
  EXPECT_EQ(reports[before + 3].state, ServiceState::kRunning);
  EXPECT_FALSE(serving.rig.watchdog.StopFlag.IsRaised());
}

TEST(ServiceControlTest, PauseContinueOrReloadWhileStoppingKeepsTheStopPending) {
  ServingRig serving;
  serving.control.Control(ServiceRequest::kPause);
  serving.control.Control(ServiceRequest::kStop);
  serving.control.Control(ServiceRequest::kContinue);
  serving.control.Control(ServiceRequest::kParamChange);
  serving.control.Control(ServiceRequest::kPause);
  EXPECT_FALSE(serving.rig.watchdog.reload_requested.load());
  ASSERT_TRUE(serving.reporter.WaitForState(ServiceState::kStopped));
  auto states = serving.reporter.states();
  const auto stopping = std::find(states.begin(), states.end(), ServiceState::kStopPending);
  ASSERT_NE(stopping, states.end());
  EXPECT_EQ(states.back(), ServiceState::kStopped);
  // Answers to the later controls tell the state of their moment: still stopping, or stopped.
  EXPECT_TRUE(std::all_of(stopping, states.end(), [](ServiceState state) {
    return state == ServiceState::kStopPending || state == ServiceState::kStopped;
  }));
  EXPECT_TRUE(std::is_partitioned(stopping, states.end(), [](ServiceState state) {
    return state == ServiceState::kStopPending;
  }));
}

TEST(ServiceControlTest, ShutdownStopsMonitoringAtOnce) {
  ServingRig serving;
  serving.control.Control(ServiceRequest::kShutdown);
  EXPECT_TRUE(serving.rig.watchdog.StopFlag.IsRaised());
  EXPECT_TRUE(serving.rig.watchdog.paused.load());
  EXPECT_TRUE(serving.reporter.WaitForState(ServiceState::kStopped));
  EXPECT_THAT(serving.reporter.states(), ::testing::Contains(ServiceState::kStopPending));
}

TEST(ServiceControlTest, AtShutdownARestartUnderWayStopsTheServiceAndStartsItNoMore) {
  WatchdogRig rig(kServiceMode);
  RecordingReporter reporter;
  ServiceControl control(rig.watchdog, reporter);
  rig.services.Add("svc", ServiceState::kRunning);
  rig.services.Modify("svc", [](auto& s) { s.stop_pending_polls = 3; });
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||0|-1");
  // During the stop wait of the first restart; the supervisor then asks its monitors to end.
  rig.clock.At(kStartDelayThread.count() + 50, [&] {
    control.Control(ServiceRequest::kShutdown);
    monitor->Terminate();
  });
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  const auto svc = rig.services.Get("svc");
  EXPECT_EQ(svc.state, ServiceState::kStopped);
  EXPECT_EQ(svc.starts, 0);
  EXPECT_THAT(rig.events.messages(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace gandry::testing
