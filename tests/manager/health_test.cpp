#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "manager_rig.h"

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Lines = std::vector<FakeIniStore::Line>;

TEST(ManagerHealth, AddWithACheckWritesTheItemAndItsSectionInOneEdit) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  rig.Installed();
  rig.Service("W3SVC");
  EXPECT_EQ(rig.Run({"add", "W3SVC", "--check", "http://127.0.0.1/healthz", "--interval", "10",
                     "--failures=2"}),
            0)
      << rig.err;
  EXPECT_EQ(rig.ini.writes(), 1);
  EXPECT_EQ(rig.ini.Value(kIni, "Services", "Item2"), "W3SVC||3|0");
  EXPECT_EQ(rig.ini.Lines(kIni, "Health W3SVC"),
            (Lines{{"Check", "http://127.0.0.1/healthz"}, {"Interval", "10"}, {"Failures", "2"}}));
  EXPECT_THAT(rig.out, HasSubstr("Set [Health W3SVC]: http://127.0.0.1/healthz every 10 s, "
                                 "time-out 5 s, restart after 2 failed in a row, grace 60 s."));
  EXPECT_THAT(rig.services.Find(kWatchdog)->commands, ElementsAre(ServiceCommand::kParamChange));
}

// The section is the file's own in whatever letter case, the numbers not given go back to
// their defaults, and off takes the section whole.
TEST(ManagerHealth, HealthEditsTheSectionOfAListedServiceInAnyCaseAndOffRemovesIt) {
  ManagerRig rig;
  rig.Ini({"W3SVC||3|0", "Spooler||3|0"});
  rig.ini.AddLine(kIni, "health w3svc", "Check", "tcp://127.0.0.1:80");
  rig.ini.AddLine(kIni, "health w3svc", "Grace", "0");
  rig.ini.AddLine(kIni, "health w3svc", "Timeout", "9");
  rig.ini.AddLine(kIni, "health w3svc", "timeout", "8");
  EXPECT_EQ(rig.Run({"health", "w3Svc", "tcp://127.0.0.1:8080", "--timeout", "2"}), 0) << rig.err;
  EXPECT_EQ(rig.ini.Lines(kIni, "health w3svc"),
            (Lines{{"Check", "tcp://127.0.0.1:8080"}, {"Timeout", "2"}}));
  EXPECT_THAT(rig.out,
              HasSubstr("Set [health w3svc]: tcp://127.0.0.1:8080 every 30 s, time-out 2 s"));

  EXPECT_EQ(rig.Run({"health", "SPOOLER", "exec:\"C:\\Tools\\probe.exe\" -q"}), 0) << rig.err;
  EXPECT_EQ(rig.ini.Lines(kIni, "Health Spooler"),
            (Lines{{"Check", "exec:\"C:\\Tools\\probe.exe\" -q"}}));

  EXPECT_EQ(rig.Run({"health", "W3SVC", "OFF"}), 0) << rig.err;
  EXPECT_THAT(rig.out, HasSubstr("Removed [health w3svc]: W3SVC has no health check."));
  EXPECT_TRUE(rig.ini.Lines(kIni, "Health W3SVC").empty());
  const int writes = rig.ini.writes();
  EXPECT_EQ(rig.Run({"health", "W3SVC", "off"}), 0);
  EXPECT_EQ(rig.out, "W3SVC has no health check.\n");
  EXPECT_EQ(rig.ini.writes(), writes);
  EXPECT_EQ(rig.ini.Lines(kIni, "Health Spooler").size(), 1u);

  // The check goes with the service's last item.
  EXPECT_EQ(rig.Run({"remove", "spooler"}), 0) << rig.err;
  EXPECT_THAT(rig.out, HasSubstr("Removed [Health Spooler]."));
  EXPECT_TRUE(rig.ini.Lines(kIni, "Health Spooler").empty());
}

TEST(ManagerHealth, RefusalsSayWhyAndWriteNothing) {
  ManagerRig rig;
  rig.Ini({"W3SVC||3|0"});
  rig.Service("BITS");
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"health", "W3SVC", "ftp://host/"}, "is no health check: not tcp://"},
      {{"health", "W3SVC", "tcp://host"}, "a TCP check needs a port"},
      {{"health", "W3SVC", "exec:"}, "no command line after exec:"},
      {{"health", "W3SVC", "tcp://h:1", "--interval", "4"}, "from 5 to 3600, not \"4\""},
      {{"health", "W3SVC", "tcp://h:1", "--failures", "101"},
       "--failures takes a whole number "
       "from 1 to 100"},
      {{"health", "W3SVC", "tcp://h:1", "--grace", "1m"}, "--grace takes"},
      {{"health", "W3SVC", "tcp://h:1", "--timeout", " 5"}, "--timeout takes"},
      {{"health", "W3SVC", "tcp://h:1", "--interval", "5"}, "time-out (5 s) must be shorter"},
      {{"health", "W3SVC", "tcp://h:1", "--timeout", "30"}, "time-out (30 s) must be shorter"},
      {{"health", "W3SVC", "off", "--grace", "0"}, "takes no --interval"},
      {{"add", "BITS", "--interval", "60"}, "go with --check"},
      {{"add", "BITS", "--check", "tcp://h:0"}, "a port that is not a number"},
  };
  for (const auto& [command, why] : refused) {
    EXPECT_EQ(rig.Run(command), 2) << command[2];
    EXPECT_THAT(rig.err, HasSubstr(why)) << command[2];
  }
  EXPECT_EQ(rig.Run({"health", "Spooler", "tcp://h:1"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("No item of Gandry.ini watches \"Spooler\""));
  EXPECT_EQ(rig.Run({"health", "Spooler", "off"}), 1);
  EXPECT_EQ(rig.Run({"set", "HungServices", "sometimes"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("HungServices is kill or leave"));
  EXPECT_EQ(rig.ini.writes(), 0);

  EXPECT_EQ(rig.Run({"set", "hungservices", "KILL"}), 0);
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "HungServices"), "kill");
}

TEST(ManagerHealth, CheckFindsEveryFaultOfTheHealthSections) {
  ManagerRig rig;
  rig.folder = "C:\\Gandry\\";
  const std::string ini = "C:\\Gandry\\Gandry.ini";
  rig.files.files["C:\\Gandry\\gandry.svc"] = "MZ";
  rig.files.files[ini] = "";
  rig.Installed().registration.command_line = "C:\\Gandry\\gandry.svc -service";
  rig.sources.sources["Gandry Service"].message_file = "C:\\Gandry\\gandry.svc";
  for (const char* name : {"A", "B", "C", "D", "E", "F"}) {
    rig.ini.AddLine(ini, "Services", std::string("Item") + name, std::string(name) + "||3|0");
    rig.Service(name);
  }
  auto health = [&](const std::string& service, const std::string& check) {
    rig.ini.AddLine(ini, "Health " + service, "Check", check);
  };
  health("A", "http://127.0.0.1/");
  rig.ini.AddLine(ini, "Health A", "Interval", "2");
  health("b", "smtp://mail");
  health("C", "exec:C:\\Program Files\\Probe\\probe.exe --quick");
  health("D", "exec:C:\\Tools\\probe --quick");
  rig.files.files["C:\\Tools\\probe.exe"] = "MZ";
  rig.files.writers["C:\\Tools\\"] = {"BUILTIN\\Users"};
  health("E", "exec:\"C:\\Program Files\\Missing\\probe.exe\"");
  health("F", "exec:powershell.exe -File check.ps1");  // on the search path: nothing to look at
  health("Gone", "tcp://127.0.0.1:1");
  rig.ini.AddLine(ini, "Settings", "HungServices", "maybe");

  EXPECT_EQ(rig.Run({"check", "--json"}), 1);
  const nlohmann::json doc = nlohmann::json::parse(rig.out);
  std::vector<std::string> findings;
  for (const nlohmann::json& finding : doc["findings"]) {
    findings.push_back(finding["code"].get<std::string>() + ": " +
                       finding["text"].get<std::string>());
  }
  using ::testing::StartsWith;
  EXPECT_THAT(
      findings,
      ElementsAre(StartsWith("hung-services-unknown: [Settings] HungServices is \"maybe\""),
                  StartsWith("health-value-replaced: [Health A] Interval=2 is not a whole "
                             "number from 5 to 3600; 30 is used."),
                  StartsWith("health-check-invalid: [Health b] Check=smtp://mail: not tcp://"),
                  StartsWith("health-program-unquoted: [Health C]: the program's path has "
                             "blanks but no quotes, so the check runs \"C:\\Program\""),
                  StartsWith("health-program-write-access: [Health D]: the folder C:\\Tools\\ "
                             "may be changed by BUILTIN\\Users. The watchdog runs it as "
                             "LocalSystem"),
                  StartsWith("health-program-missing: [Health E]: there is no program "
                             "C:\\Program Files\\Missing\\probe.exe"),
                  StartsWith("health-service-unlisted: [Health Gone]: no item watches \"Gone\"")));
}

TEST(ManagerHealth, StatusShowsEachItemsCheck) {
  ManagerRig rig;
  rig.Ini({"W3SVC||3|0", "Spooler||3|0", "BITS||3|0"});
  rig.Installed();
  rig.ini.AddLine(kIni, "HEALTH w3svc", "Check", "https://localhost:8443/up");
  rig.ini.AddLine(kIni, "HEALTH w3svc", "Failures", "5");
  rig.ini.AddLine(kIni, "Health BITS", "Check", "nonsense");
  EXPECT_EQ(rig.Run({"status"}), 0);
  EXPECT_THAT(rig.out, HasSubstr("attempts 3, period 0 min; check https://localhost:8443/up every "
                                 "30 s, time-out 5 s, restart after 5 failed in a row, grace 60 "
                                 "s\nItem2 Spooler: not installed; attempts 3, period 0 min\n"
                                 "Item3 BITS: not installed; attempts 3, period 0 min; no valid "
                                 "health check"));

  EXPECT_EQ(rig.Run({"status", "--json"}), 0);
  const nlohmann::json doc = nlohmann::json::parse(rig.out);
  EXPECT_EQ(doc["items"][0]["health"],
            nlohmann::json::parse(R"({"check": "https://localhost:8443/up", "valid": true,
                "interval": 30, "timeout": 5, "failures": 5, "grace": 60})"));
  EXPECT_EQ(doc["items"][1]["health"], nullptr);
  EXPECT_EQ(doc["items"][2]["health"], nlohmann::json::parse(R"({"check": "nonsense",
                "valid": false})"));
  EXPECT_EQ(doc["items"][0]["attempts"], 3);
}

}  // namespace
}  // namespace gandry
