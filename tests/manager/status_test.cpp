#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "manager_rig.h"

namespace gandry {
namespace {

TEST(ManagerStatus, ShowsTheWatchdogAndEachItemsService) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0", "Gone|x|1|60"});
  FakeServiceManager::Service& watchdog = rig.Installed(ServiceState::kStopped);
  watchdog.exit_code = win_error::kServiceSpecificError;
  watchdog.service_exit_code = 1;
  rig.Service("Spooler", ServiceState::kRunning, StartType::kDemand);
  EXPECT_EQ(rig.Run({"status"}), 0);
  EXPECT_EQ(rig.out,
            "Watchdog zt-gandry-demon: stopped, start type auto, last exit code 1066 (The "
            "service has returned a service-specific error code; its own code 1)\n"
            "Item1 Spooler: running, start type demand, last exit code 0 (The operation "
            "completed successfully); attempts 3, period 0 min\n"
            "Item2 Gone: not installed; attempts 1, period 60 min\n");
}

TEST(ManagerStatus, JsonIsOneDocumentThatKeepsOddTextsIntact) {
  ManagerRig rig;
  // A name with a quote, a backslash, a tab and a letter of the system's code page.
  const std::string odd = "Odd\"\\\tName\xE9";
  rig.Ini({odd + "||abc|5"});
  rig.Installed();
  rig.Service(odd);
  rig.services.Find(odd)->exit_code = 77;  // no text for it
  ASSERT_EQ(rig.Run({"status", "--json"}), 0);

  const nlohmann::json doc = nlohmann::json::parse(rig.out);
  EXPECT_EQ(doc["watchdog"]["service"], "zt-gandry-demon");
  EXPECT_EQ(doc["watchdog"]["state"], "running");
  EXPECT_EQ(doc["iniFound"], true);
  ASSERT_EQ(doc["items"].size(), 1u);
  const nlohmann::json& item = doc["items"][0];
  EXPECT_EQ(item["key"], "Item1");
  EXPECT_EQ(item["service"], "Odd\"\\\tName\xC3\xA9");  // é in UTF-8
  EXPECT_EQ(item["attempts"], "abc");
  EXPECT_EQ(item["period"], 5);
  EXPECT_EQ(item["exitCode"], 77);
  EXPECT_EQ(item["exitText"], "System error 77");
  // Plain ASCII on the wire, whatever the console's code page.
  EXPECT_TRUE(std::all_of(rig.out.begin(), rig.out.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
}

TEST(ManagerStatus, AServiceManagerThatCannotBeReachedFailsTheStatus) {
  ManagerRig rig;
  rig.services.fail_all = win_error::kAccessDenied;
  EXPECT_EQ(rig.Run({"status", "--json"}), 1);
  const nlohmann::json doc = nlohmann::json::parse(rig.out);
  EXPECT_EQ(doc["watchdog"]["error"], win_error::kAccessDenied);
  EXPECT_EQ(doc["watchdog"]["installed"], true);
  EXPECT_EQ(doc["items"], nlohmann::json::array());
}

}  // namespace
}  // namespace gandry
