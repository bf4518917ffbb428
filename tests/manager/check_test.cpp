#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "manager_rig.h"

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    lines.push_back(text.substr(begin, end - begin));
  }
  return lines;
}

TEST(ManagerCheck, ACleanSetUpHasNoProblems) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0", "W32Time||0|60"});
  rig.Installed();
  rig.Service("Spooler");
  rig.Service("W32Time", ServiceState::kStopped, StartType::kDemand);
  EXPECT_EQ(rig.Run({"check"}), 0) << rig.out;
  EXPECT_EQ(rig.out, "No problems found.\n");
}

TEST(ManagerCheck, AMetricsFileNeedsAnExistingFolder) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  rig.Installed();
  rig.Service("Spooler");
  rig.ini.AddLine(kIni, "Settings", "MetricsFile", "metrics\\gandry.prom");
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(rig.out,
              HasSubstr("MetricsFile is \"C:\\Program Files\\Gandry\\metrics\\gandry.prom\", "
                        "but there is no folder C:\\Program Files\\Gandry\\metrics\\"));
  rig.files.files["C:\\Program Files\\Gandry\\metrics\\"] = "";
  EXPECT_EQ(rig.Run({"check"}), 0) << rig.out;
}

TEST(ManagerCheck, NamesEveryProblemOfTheIniOnItsOwnLine) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0", "Missing||3|0", "Off||3|0", "zt-gandry-demon||3|0", "spooler||1|0",
           "W32Time|note|3x|0", "Dnscache||0|", "|empty|3|0", "BITS||-1|0", "Neg||3|-5",
           "Long||3|0|" + std::string(250, 'v')});
  // The watchdog reads Item1's first line twice and the second never.
  rig.ini.AddLine(kIni, "Services", "item1", "Hidden||3|0");
  ASSERT_TRUE(rig.ini.WriteValue(kIni, "Settings", "LoopDelayThread", "200"));
  ASSERT_TRUE(rig.ini.WriteValue(kIni, "Settings", "WatchMode", "notfy"));
  ASSERT_TRUE(rig.ini.WriteValue(kIni, "Settings", "Events", "verbose"));
  rig.Installed();
  for (const char* name : {"Spooler", "W32Time", "Dnscache", "BITS", "Neg", "Long"}) {
    rig.Service(name);
  }
  rig.Service("Off", ServiceState::kStopped, StartType::kDisabled);

  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(
      Lines(rig.out),
      ElementsAre(
          StartsWith("[Settings] LoopDelayThread is \"200\": the watchdog uses 30 instead"),
          StartsWith("[Settings] WatchMode is \"notfy\""),
          StartsWith("[Settings] Events is \"verbose\": the watchdog writes classic events."),
          StartsWith("Item1 is on 2 lines of [Services]: the watchdog reads only the first "
                     "(Item1=Spooler||3|0)"),
          StartsWith("Item2=Missing||3|0: the system has no service"),
          StartsWith("Item3=Off||3|0: the service \"Off\" is disabled"),
          StartsWith("Item4=zt-gandry-demon||3|0 watches the watchdog"),
          StartsWith("Item5=spooler||1|0 watches \"spooler\" a second"),
          StartsWith("Item6=W32Time|note|3x|0: the attempts \"3x\""),
          StartsWith("Item7=Dnscache||0| has no attempts and no period"),
          StartsWith("Item8=|empty|3|0 names no service"),
          StartsWith("Item9=BITS||-1|0 has no attempts and no period"),
          StartsWith("Item10=Neg||3|-5: a negative period restarts the service on every pass"),
          StartsWith("Item11=Long||3|0|" + std::string(190, 'v') +
                     "... is longer than 200 characters"),
          "14 problems found."));
}

// What the sample and the guide give is no problem: a default StartDelayThread, a missing
// delay, an unquoted path without blanks, the message file in other letters. A file without
// items is worth a note, which does not fail the check.
TEST(ManagerCheck, DocumentedDefaultsAreNoProblemsAndNotesDoNotFail) {
  ManagerRig rig;
  rig.folder = "C:\\Gandry\\";
  const std::string ini = "C:\\Gandry\\Gandry.ini";
  rig.files.files["C:\\Gandry\\gandry.svc"] = "MZ";
  rig.files.files[ini] = "";
  rig.ini.AddLine(ini, "Settings", "LoopDelayThread", "30");
  rig.ini.AddLine(ini, "Settings", "StartDelayThread", "180");
  rig.ini.AddLine(ini, "Settings", "Events", "Detailed");
  rig.Installed().registration.command_line = "C:\\Gandry\\gandry.svc -service";
  rig.sources.sources["Gandry Service"].message_file = "c:\\gandry\\GANDRY.SVC";
  EXPECT_EQ(rig.Run({"check"}), 0) << rig.out;
  EXPECT_THAT(Lines(rig.out), ElementsAre(StartsWith("Note: Gandry.ini lists no items"),
                                          "No problems found (1 note(s))."));
}

TEST(ManagerCheck, FindsABrokenRegistrationAndSourceAndOpenPermissions) {
  ManagerRig rig;
  rig.Ini({});
  rig.services.Add(kWatchdog, {"Gandry Service", "C:\\Program Files\\Gandry\\gandry.svc /debug",
                               StartType::kAuto, false});
  rig.files.writers[kIni] = {"BUILTIN\\Users", "Everyone"};
  rig.files.acl_errors[kFolder] = win_error::kNotSupported;
  rig.errors.texts[win_error::kNotSupported] = "The request is not supported.\r\n";
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(
      Lines(rig.out),
      ElementsAre(StartsWith("Note: Gandry.ini lists no items"), HasSubstr("path unquoted"),
                  HasSubstr("with \"/debug\" instead of"),
                  StartsWith("The service has no recovery actions: Windows does not restart"),
                  HasSubstr("\"Gandry Service\" is missing"),
                  StartsWith(std::string(kIni) + " may be changed by BUILTIN\\Users, Everyone."),
                  "Note: cannot tell who may change C:\\Program Files\\Gandry\\: The "
                  "request is not supported.",
                  "5 problems found."));

  // A quoted path that is another gandry.svc, and a source pointing elsewhere.
  rig.services.Find(kWatchdog)->registration.command_line = "\"D:\\Gandry\\gandry.svc\" -SERVICE";
  rig.sources.sources["Gandry Service"] = {"D:\\Gandry\\gandry.svc", 7};
  rig.services.Find(kWatchdog)->failure_actions = ExpectedFailureActions();
  rig.files.writers.clear();
  rig.files.acl_errors.clear();
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(Lines(rig.out),
              ElementsAre(StartsWith("Note: Gandry.ini lists no items"),
                          StartsWith("The service runs D:\\Gandry\\gandry.svc, not this"),
                          MatchesRegex(".*takes its texts from D:.*gandry.svc, not from C:.*"),
                          "2 problems found."));

  // The same as one document for scripts: each finding with its code and severity.
  EXPECT_EQ(rig.Run({"check", "--json"}), 1);
  const nlohmann::json doc = nlohmann::json::parse(rig.out);
  EXPECT_EQ(doc["problems"], 2);
  EXPECT_EQ(doc["notes"], 1);
  std::vector<std::string> findings;
  for (const nlohmann::json& finding : doc["findings"]) {
    findings.push_back(finding["code"].get<std::string>() + " " +
                       finding["severity"].get<std::string>());
  }
  EXPECT_THAT(findings, ElementsAre("no-items note", "service-other-program problem",
                                    "event-source-other-file problem"));
  EXPECT_THAT(doc["findings"][1]["text"].get<std::string>(),
              StartsWith("The service runs D:\\Gandry\\gandry.svc, not this"));
}

TEST(ManagerCheck, AMissingOrUnreadableIniAndAMissingServiceAreProblemsToo) {
  ManagerRig rig;
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(
      Lines(rig.out),
      ElementsAre(StartsWith("There is no C:\\Program Files\\Gandry\\Gandry.ini."),
                  HasSubstr("is not installed"), HasSubstr("is missing"), "3 problems found."));

  rig.Ini({"Spooler||3|0"});
  rig.ini.unreadable[kIni] = kErrorIniByteOrderMark;
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(Lines(rig.out).front(),
              StartsWith("The watchdog cannot read C:\\Program Files\\Gandry\\Gandry.ini: It "
                         "begins with a UTF-8 byte-order mark"));
}

}  // namespace
}  // namespace gandry
