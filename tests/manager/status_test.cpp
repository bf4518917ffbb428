#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/live_section.h"
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

// The watchdog service runs with Item1 "Spooler" and Item2 "Gone", and has published its
// live state: a record for Spooler and one for a service Gandry.ini no longer lists there.
struct LiveRig : ManagerRig {
  LiveRig() {
    Ini({"Spooler||3|60", "Gone||2|0"});
    watchdog = &Installed();
    watchdog->process_id = 4242;
    Service("Spooler");
    status.pid = 4242;
    status.started = 1'765'281'600;  // 2025-12-09 12:00:00 UTC, the fake clock's "now"
    status.reloads = 2;
    LiveItem spooler;
    spooler.service = "SPOOLER";
    spooler.state = 4;
    spooler.attempts_left = 1;
    spooler.next_restart = status.started + 3600;
    spooler.health_failures = 2;
    spooler.starts = {3, 1, 0};
    spooler.start_failures = 2;
    spooler.last_start = status.started - 50;
    LiveItem other;
    other.service = "Other";
    status.items = {spooler, other};
    status.watched = 2;
  }
  void Publish() {
    auto section = FakeSharedMemory::NewSection(kLiveSectionSize);
    EncodeLiveStatus(status, *section);
    live.Offer(section);
  }

  FakeServiceManager::Service* watchdog = nullptr;
  LiveStatus status;
};

TEST(ManagerStatus, ARunningWatchdogsLiveStateFollowsEachItemItHasARecordFor) {
  LiveRig rig;
  rig.Publish();
  ASSERT_EQ(rig.Run({"status"}), 0);
  EXPECT_THAT(rig.out,
              ::testing::HasSubstr(
                  "; attempts 3, period 60 min\n"
                  "  attempts left 1, next restart 2025-12-09 13:00:00, health checks failed in a "
                  "row 2, starts 4 (stopped 3, scheduled 1, health 0), failed starts 2, last "
                  "start 2025-12-09 11:59:10\n"
                  "Item2 Gone: not installed; attempts 2, period 0 min\n"));
  EXPECT_EQ(rig.live.last_name(), kLiveSectionName);

  ASSERT_EQ(rig.Run({"status", "--json"}), 0);
  const nlohmann::json doc = nlohmann::json::parse(rig.out);
  EXPECT_EQ(doc["schemaVersion"], 2);
  EXPECT_EQ(doc["watchdog"]["reloads"], 2);
  EXPECT_EQ(doc["watchdog"]["startedAt"], "2025-12-09T12:00:00Z");
  const nlohmann::json& spooler = doc["items"][0];
  EXPECT_EQ(spooler["attempts"], 3);  // the configured number keeps its name and type
  EXPECT_EQ(spooler["attemptsLeft"], 1);
  EXPECT_EQ(spooler["nextRestart"], "2025-12-09T13:00:00Z");
  EXPECT_EQ(spooler["healthFailures"], 2);
  EXPECT_EQ(spooler["starts"], nlohmann::json::parse(R"({"stopped":3,"scheduled":1,"health":0})"));
  EXPECT_EQ(spooler["startFailures"], 2);
  EXPECT_EQ(spooler["lastStart"], "2025-12-09T11:59:10Z");
  EXPECT_FALSE(doc["items"][1].contains("attemptsLeft"));
}

TEST(ManagerStatus, WithoutARunningWatchdogsOwnSectionTheStatusIsAsBefore) {
  LiveRig rig;
  // Exactly the output without any section, for a section left by another process, one
  // marked as ended, and any section while the service does not run.
  const auto same = [&rig](const char* what) {
    rig.live.Offer(nullptr);
    ASSERT_EQ(rig.Run({"status"}), 0);
    const std::string text = rig.out;
    ASSERT_EQ(rig.Run({"status", "--json"}), 0);
    const nlohmann::json json = nlohmann::json::parse(rig.out);
    EXPECT_EQ(json["schemaVersion"], 2);
    EXPECT_FALSE(json["watchdog"].contains("reloads"));
    EXPECT_FALSE(json["items"][0].contains("attemptsLeft"));
    rig.Publish();
    EXPECT_EQ(rig.Run({"status"}), 0) << what;
    EXPECT_EQ(rig.out, text) << what;
    EXPECT_EQ(rig.Run({"status", "--json"}), 0) << what;
    EXPECT_EQ(nlohmann::json::parse(rig.out), json) << what;
  };
  rig.status.pid = 99;
  same("another process");
  rig.status.pid = 4242;
  rig.status.ended = true;
  same("ended");
  rig.status.ended = false;
  rig.watchdog->state = ServiceState::kStopped;
  same("stopped");
}

}  // namespace
}  // namespace gandry
