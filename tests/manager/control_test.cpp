#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manager_rig.h"

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ManagerControl, EachCommandWaitsForItsStateThroughThePendingOne) {
  ManagerRig rig;
  FakeServiceManager::Service& watchdog = rig.Installed(ServiceState::kStopped);
  watchdog.PendFor(4);
  const std::vector<std::pair<std::string, std::string>> steps{
      {"start", "running"}, {"pause", "paused"},    {"continue", "running"},
      {"reload", ""},       {"restart", "running"}, {"stop", "stopped"},
  };
  for (const auto& [command, state] : steps) {
    EXPECT_EQ(rig.Run({command}), 0) << command << ": " << rig.err;
    if (!state.empty()) {
      EXPECT_THAT(rig.out, HasSubstr("zt-gandry-demon: " + state + "\n")) << command;
    }
  }
  EXPECT_THAT(watchdog.commands,
              ElementsAre(ServiceCommand::kStart, ServiceCommand::kPause, ServiceCommand::kContinue,
                          ServiceCommand::kParamChange, ServiceCommand::kStop,
                          ServiceCommand::kStart, ServiceCommand::kStop));
  // Asking for the state the service is in already is no failure.
  EXPECT_EQ(rig.Run({"stop"}), 0);
}

TEST(ManagerControl, AStartThatFailsOrAStopThatHangsExitsWithOne) {
  ManagerRig rig;
  FakeServiceManager::Service& watchdog = rig.Installed(ServiceState::kStopped);
  watchdog.start_dies = true;
  EXPECT_EQ(rig.Run({"start"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("is stopped after the start request, not running: exit code 0"));

  // A watchdog that stops again at once, as on a Gandry.ini it cannot read, is no success.
  watchdog.start_dies = false;
  watchdog.stops_after_start = {{2, win_error::kServiceSpecificError, 1}};
  for (const char* command : {"start", "restart"}) {
    EXPECT_EQ(rig.Run({command}), 1) << command;
    EXPECT_EQ(rig.err,
              "The service \"zt-gandry-demon\" stopped again right after it started: exit code "
              "1066 (The service has returned a service-specific error code; its own code 1). "
              "\"gandry-manager check\" may tell why.\n")
        << command;
  }

  watchdog.stops_after_start.reset();
  watchdog.state = ServiceState::kRunning;
  watchdog.hang_stop_pending = true;
  const std::int64_t before = rig.clock.TickMs();
  EXPECT_EQ(rig.Run({"stop"}), 1);
  EXPECT_THAT(rig.err,
              HasSubstr("is stop pending and has made no progress for 60 seconds, not stopped"));
  EXPECT_GE(rig.clock.TickMs() - before, 60'000);
  EXPECT_LT(rig.clock.TickMs() - before, 61'000);

  watchdog.refuse = win_error::kInvalidServiceControl;
  rig.errors.texts[win_error::kInvalidServiceControl] =
      "The requested control is not valid for this service.\r\n";
  EXPECT_EQ(rig.Run({"reload"}), 1);
  EXPECT_EQ(rig.err,
            "Cannot ask the service \"zt-gandry-demon\" to reload Gandry.ini: The requested "
            "control is not valid for this service.\n");
}

// A monitor that finishes a scheduled restart keeps the watchdog stop pending, with progress,
// for longer than a hung service could take.
TEST(ManagerControl, RestartWaitsForAStopThatMakesProgress) {
  ManagerRig rig;
  rig.Installed().PendFor(4 * 120);  // two minutes at four queries a second
  EXPECT_EQ(rig.Run({"restart"}), 0) << rig.err;
  EXPECT_THAT(rig.services.Find(kWatchdog)->commands,
              ElementsAre(ServiceCommand::kStop, ServiceCommand::kStart));
  EXPECT_GT(rig.clock.TickMs(), 120'000);
}

TEST(ManagerControl, AnEditThatCannotBeReloadedExitsWithThree) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  FakeServiceManager::Service& watchdog = rig.Installed(ServiceState::kPausePending);
  watchdog.refuse = win_error::kServiceCannotAcceptControl;
  rig.errors.texts[win_error::kServiceCannotAcceptControl] =
      "The service cannot accept control messages at this time.\r\n";
  EXPECT_EQ(rig.Run({"add", "BITS", "--force"}), 3);
  EXPECT_EQ(rig.err,
            "Gandry.ini changed, not reloaded: The service cannot accept control messages at "
            "this time. Run \"gandry-manager reload\" once the watchdog runs.\n");
  // Run again, the add finds its own line.
  EXPECT_EQ(rig.Run({"add", "BITS", "--force"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("\"BITS\" is already listed (Item2=BITS||3|0)"));

  rig.services.fail_all = win_error::kAccessDenied;
  EXPECT_EQ(rig.Run({"set", "LoopDelayThread", "10"}), 3);
  EXPECT_THAT(rig.err, HasSubstr("not reloaded: cannot query the watchdog: Access is denied."));
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "LoopDelayThread"), "10");
}

TEST(ManagerControl, ANotInstalledWatchdogIsReportedWithTheSystemText) {
  ManagerRig rig;
  EXPECT_EQ(rig.Run({"pause"}), 1);
  EXPECT_EQ(rig.err,
            "Cannot send the request to the service \"zt-gandry-demon\": The specified service "
            "does not exist as an installed service.\n");
}

}  // namespace
}  // namespace gandry
