#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "manager_rig.h"

namespace gandry {
namespace {

using std::chrono::minutes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(ManagerInstall, RegistersQuotedWithRecoveryAndSourceCreatesTheIniAndStarts) {
  ManagerRig rig;
  // The fake store does not parse the created file; this stands for an item added to it.
  rig.ini.AddLine(kIni, "Services", "Item1", "Spooler|Print spooler|3|0");
  ASSERT_EQ(rig.Run({"install"}), 0) << rig.err;

  const FakeServiceManager::Service* service = rig.services.Find(kWatchdog);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->registration.command_line, kQuotedCommand);
  EXPECT_EQ(service->registration.display_name, "Gandry Service");
  EXPECT_EQ(service->registration.start_type, StartType::kAuto);
  EXPECT_FALSE(service->registration.delayed_start);
  EXPECT_FALSE(service->description.empty());
  ASSERT_TRUE(service->failure_actions);
  EXPECT_THAT(service->failure_actions->restart_delays,
              ElementsAre(minutes(1), minutes(1), minutes(5)));
  EXPECT_EQ(service->failure_actions->reset_after, std::chrono::hours(24));
  EXPECT_TRUE(service->failure_actions->on_error_stop);
  EXPECT_EQ(service->state, ServiceState::kRunning);
  EXPECT_THAT(rig.out, HasSubstr("zt-gandry-demon: running\n"));

  EXPECT_EQ(rig.sources.sources.at("Gandry Service").message_file, kSvc);
  EXPECT_EQ(rig.sources.sources.at("Gandry Service").types_supported, 7u);

  // The sample, with CR LF line ends throughout.
  const std::string& ini = rig.files.files.at(kIni);
  EXPECT_THAT(ini, StartsWith("; Gandry.ini"));
  EXPECT_THAT(ini, HasSubstr("\r\n[Settings]\r\n"));
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), std::count(ini.begin(), ini.end(), '\r'));
}

// A default install must not watch a service nobody asked for, and its delays are what the
// watchdog uses, so that it never rewrites them. Its events are the detailed ones.
TEST(ManagerInstall, TheSampleWatchesNothingAndSaysTheDelaysInUse) {
  std::vector<std::string> lines;
  std::istringstream sample(SampleIni());
  for (std::string line; std::getline(sample, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty() && line[0] != ';') {
      lines.push_back(line);
    }
  }
  EXPECT_THAT(lines, ElementsAre("[Settings]", "LoopDelayThread=30", "LoopDelayService=20",
                                 "StartDelayThread=180", "Events=detailed", "[Services]"));
}

TEST(ManagerInstall, RunAgainRepairsTheRegistrationAndKeepsTheIni) {
  ManagerRig rig;
  rig.files.files[kIni] = "mine";
  rig.services.Add(
      kWatchdog,
      {"Old", "C:\\Program Files\\Gandry\\gandry.svc -debug", StartType::kDisabled, false},
      ServiceState::kStopped);
  rig.sources.sources["Gandry Service"] = {"C:\\Old\\gandry.svc", 1};

  ASSERT_EQ(rig.Run({"install", "--start", "Delayed-Auto", "--no-start"}), 0) << rig.err;
  const FakeServiceManager::Service* service = rig.services.Find(kWatchdog);
  EXPECT_EQ(service->registration.command_line, kQuotedCommand);
  EXPECT_EQ(service->registration.start_type, StartType::kAuto);
  EXPECT_TRUE(service->registration.delayed_start);
  EXPECT_EQ(service->state, ServiceState::kStopped);
  EXPECT_EQ(rig.sources.sources.at("Gandry Service").message_file, kSvc);
  EXPECT_EQ(rig.files.files.at(kIni), "mine");
  EXPECT_THAT(rig.out, HasSubstr("The service ran \"C:\\Program Files\\Gandry\\gandry.svc "
                                 "-debug\"; it now runs"));
  EXPECT_THAT(rig.out, HasSubstr("Start type disabled changed to delayed-auto."));
  EXPECT_THAT(rig.out, Not(HasSubstr("until it is restarted")));

  // A running watchdog keeps its old command line until it is restarted, and is told so.
  rig.services.Find(kWatchdog)->registration.command_line = "C:\\Gandry\\gandry.svc -service";
  rig.services.Find(kWatchdog)->state = ServiceState::kRunning;
  ASSERT_EQ(rig.Run({"install"}), 0) << rig.err;
  EXPECT_THAT(rig.out, HasSubstr("It runs the old command line until it is restarted: "
                                 "\"gandry-manager restart\".\n"));

  EXPECT_EQ(rig.Run({"install", "--start", "manual"}), 2);
}

TEST(ManagerInstall, AnIniWithoutItemsLeavesTheServiceStoppedAndSucceeds) {
  ManagerRig rig;
  rig.Ini({});
  ASSERT_EQ(rig.Run({"install"}), 0) << rig.err;
  EXPECT_EQ(rig.services.Find(kWatchdog)->state, ServiceState::kStopped);
  EXPECT_THAT(rig.out, HasSubstr("Gandry.ini lists no items: the service is not started. Add the "
                                 "first with \"gandry-manager add SERVICE\""));
}

TEST(ManagerInstall, FailuresNameTheSystemErrorAndAccessDeniedAsksForElevation) {
  ManagerRig rig;
  rig.services.fail_all = win_error::kAccessDenied;
  EXPECT_EQ(rig.Run({"install"}), 1);
  EXPECT_EQ(rig.err,
            "Cannot look up the service \"zt-gandry-demon\": Access is denied. Run "
            "gandry-manager from an elevated prompt (Run as administrator).\n");
  EXPECT_FALSE(rig.files.Exists(kIni));

  rig.services.fail_all.reset();
  rig.files.files.erase(kSvc);
  EXPECT_EQ(rig.Run({"install"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("There is no gandry.svc in C:\\Program Files\\Gandry\\"));
  EXPECT_EQ(rig.services.Find(kWatchdog), nullptr);

  // A system without recovery actions gets a warning; a refusal of them fails.
  rig.files.files[kSvc] = "MZ";
  rig.services.recovery_fails = win_error::kInvalidParameter;
  rig.errors.texts[win_error::kInvalidParameter] = "Invalid parameter.\r\n";
  EXPECT_EQ(rig.Run({"install", "--no-start"}), 0);
  EXPECT_EQ(rig.err,
            "Warning: this system does not take the service's recovery actions: Invalid "
            "parameter.\n");
  rig.services.recovery_fails = win_error::kAccessDenied;
  EXPECT_EQ(rig.Run({"install", "--no-start"}), 1);
  EXPECT_THAT(rig.err, StartsWith("Cannot set the service's recovery actions: Access is denied."));
  rig.services.recovery_fails.reset();

  // A later step fails with a text of its own.
  rig.errors.texts[1234] = "Odd.\r\n";
  rig.sources.fail_all = 1234;
  EXPECT_EQ(rig.Run({"install"}), 1);
  EXPECT_EQ(rig.err, "Cannot register the event source \"Gandry Service\": Odd.\n");
}

TEST(ManagerUninstall, StopsDeletesAndRemovesTheSourceButKeepsTheIni) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  rig.Installed().PendFor(3);
  ASSERT_EQ(rig.Run({"uninstall"}), 0) << rig.err;
  EXPECT_EQ(rig.services.Find(kWatchdog), nullptr);
  EXPECT_TRUE(rig.sources.sources.empty());
  EXPECT_TRUE(rig.files.Exists(kIni));
  EXPECT_THAT(rig.out, HasSubstr("zt-gandry-demon: stopped\n"));

  // A watchdog that will not stop is only marked for deletion, and the uninstall says so.
  rig.Installed().hang_stop_pending = true;
  EXPECT_EQ(rig.Run({"uninstall"}), 1);
  EXPECT_THAT(rig.out,
              HasSubstr("Windows has marked the service \"zt-gandry-demon\" for deletion"));
  EXPECT_THAT(rig.out, Not(HasSubstr("Deleted")));
  rig.services.Find(kWatchdog)->state = ServiceState::kStopped;
  ASSERT_TRUE(QueryService(rig.services, kWatchdog));

  // Nothing installed: the source goes all the same.
  rig.sources.sources["Gandry Service"] = {kSvc, 7};
  EXPECT_EQ(rig.Run({"uninstall"}), 0);
  EXPECT_THAT(rig.out, HasSubstr("is not installed"));
  EXPECT_TRUE(rig.sources.sources.empty());
}

}  // namespace
}  // namespace gandry
