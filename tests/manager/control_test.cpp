#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manager_rig.h"

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ManagerControl, EachCommandWaitsForItsStateThroughThePendingOne) {
  ManagerRig rig;
  FakeServiceDatabase::Service& watchdog = rig.Installed(ServiceState::kStopped);
  watchdog.pending_queries = 4;
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
  FakeServiceDatabase::Service& watchdog = rig.Installed(ServiceState::kStopped);
  watchdog.start_fails = true;
  EXPECT_EQ(rig.Run({"start"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("is stopped after the start request, not running"));

  watchdog.start_fails = false;
  watchdog.run.state = ServiceState::kRunning;
  watchdog.stop_hangs = true;
  const std::int64_t before = rig.clock.TickMs();
  EXPECT_EQ(rig.Run({"stop"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("is stop pending after 60 seconds, not stopped"));
  EXPECT_GE(rig.clock.TickMs() - before, 60'000);
  EXPECT_LT(rig.clock.TickMs() - before, 61'000);

  watchdog.refuse = 1052;
  rig.errors.texts[1052] = "The requested control is not valid for this service.\r\n";
  EXPECT_EQ(rig.Run({"reload"}), 1);
  EXPECT_EQ(rig.err,
            "Cannot ask the service \"zt-gandry-demon\" to reload Gandry.ini: The requested "
            "control is not valid for this service.\n");
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
