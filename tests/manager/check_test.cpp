#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(ManagerCheck, NamesEveryProblemOfTheIniOnItsOwnLine) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0", "Missing||3|0", "Off||3|0", "zt-gandry-demon||3|0", "spooler||1|0",
           "W32Time|note|3x|0", "Dnscache||0|", "|empty|3|0", "BITS||2|0"});
  ASSERT_TRUE(rig.ini.WriteValue(kIni, "Settings", "LoopDelayThread", "200"));
  ASSERT_TRUE(rig.ini.DeleteKey(kIni, "Settings", "LoopDelayService"));
  ASSERT_TRUE(rig.ini.WriteValue(kIni, "Settings", "WatchMode", "notfy"));
  rig.Installed();
  for (const char* name : {"Spooler", "W32Time", "Dnscache", "BITS"}) {
    rig.Service(name);
  }
  rig.Service("Off", ServiceState::kStopped, StartType::kDisabled);
  rig.services.Find("BITS")->registration.start_type = StartType::kDemand;

  EXPECT_EQ(rig.Run({"check"}), 1);
  const std::vector<std::string> lines = Lines(rig.out);
  EXPECT_THAT(lines,
              ElementsAre(StartsWith("[Settings] LoopDelayThread is \"200\": the "
                                     "watchdog resets it to 30."),
                          StartsWith("[Settings] LoopDelayService is missing: the "
                                     "watchdog resets it to 20."),
                          StartsWith("[Settings] WatchMode is \"notfy\""),
                          StartsWith("Item2=Missing||3|0: the system has no service"),
                          StartsWith("Item3=Off||3|0: the service \"Off\" is disabled"),
                          StartsWith("Item4=zt-gandry-demon||3|0 watches the watchdog"),
                          StartsWith("Item5=spooler||1|0 watches \"spooler\" a second"),
                          StartsWith("Item6=W32Time|note|3x|0: the attempts \"3x\""),
                          StartsWith("Item7=Dnscache||0| has 0 attempts and no period"),
                          StartsWith("Item8=|empty|3|0 names no service"), "10 problems found."));
}

TEST(ManagerCheck, FindsABrokenRegistrationAndSourceAndOpenPermissions) {
  ManagerRig rig;
  rig.Ini({});
  rig.services.Add(kWatchdog, {"Gandry Service", "C:\\Program Files\\Gandry\\gandry.svc /debug",
                               StartType::kAuto, false});
  rig.files.writers[kIni] = {"BUILTIN\\Users", "Everyone"};
  rig.files.acl_errors[kFolder] = 50;
  rig.errors.texts[50] = "The request is not supported.\r\n";
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(
      Lines(rig.out),
      ElementsAre(HasSubstr("path unquoted"), HasSubstr("with \"/debug\" instead of"),
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
              ElementsAre(StartsWith("The service runs D:\\Gandry\\gandry.svc, not this"),
                          MatchesRegex(".*takes its texts from D:.*gandry.svc, not from C:.*"),
                          "2 problems found."));
}

TEST(ManagerCheck, AMissingIniAndAMissingServiceAreProblemsToo) {
  ManagerRig rig;
  EXPECT_EQ(rig.Run({"check"}), 1);
  EXPECT_THAT(
      Lines(rig.out),
      ElementsAre(StartsWith("There is no C:\\Program Files\\Gandry\\Gandry.ini."),
                  HasSubstr("is not installed"), HasSubstr("is missing"), "3 problems found."));
}

}  // namespace
}  // namespace gandry
