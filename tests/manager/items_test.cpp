#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manager_rig.h"

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<std::string> Items(FakeIniStore& ini) {
  std::vector<std::string> lines;
  for (const auto& [key, value] : ini.Lines(kIni, "Services")) {
    lines.push_back(key);
    lines.back().append("=").append(value);
  }
  return lines;
}

TEST(ManagerItems, AddTakesTheKeyAfterTheHighestAndReloadsARunningWatchdog) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  rig.ini.AddLine(kIni, "Services", "item7", "W32Time||1|0");
  rig.ini.AddLine(kIni, "Services", "ItemSql", "MSSQL||1|0");
  rig.Installed();
  rig.Service("Dnscache");
  rig.Service("BITS");

  EXPECT_EQ(rig.Run({"add", "Dnscache"}), 0) << rig.err;
  EXPECT_EQ(rig.Run({"add", "BITS", "--attempts", "0", "--restart-every=1440", "--no-reload"}), 0);
  EXPECT_THAT(Items(rig.ini),
              ElementsAre("Item1=Spooler||3|0", "item7=W32Time||1|0", "ItemSql=MSSQL||1|0",
                          "Item8=Dnscache||3|0", "Item9=BITS||0|1440"));
  EXPECT_THAT(rig.services.Find(kWatchdog)->commands, ElementsAre(ServiceCommand::kParamChange));
}

TEST(ManagerItems, AddChoosesItsKeyUnderTheLockAndNeverOneInUse) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  // Another run adds Item2 and lets go of the lock just before this one takes it.
  rig.ini.busy = 2;
  rig.ini.on_edit = [&rig] {
    rig.ini.AddLine(kIni, "Services", "Item2", "W32Time||3|0");
    rig.ini.on_edit = nullptr;
  };
  EXPECT_EQ(rig.Run({"add", "BITS", "--force"}), 0) << rig.err;
  // The highest number there is leaves the lowest free one.
  rig.ini.AddLine(kIni, "Services", "Item2147483647", "Max||3|0");
  EXPECT_EQ(rig.Run({"add", "Dnscache", "--force"}), 0) << rig.err;
  EXPECT_THAT(Items(rig.ini),
              ElementsAre("Item1=Spooler||3|0", "Item2=W32Time||3|0", "Item3=BITS||3|0",
                          "Item2147483647=Max||3|0", "Item4=Dnscache||3|0"));
}

TEST(ManagerItems, AddRefusesWithoutWriting) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0"});
  rig.Service("spooler");
  EXPECT_EQ(rig.Run({"add", "SPOOLER"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("already listed (Item1=Spooler||3|0)"));
  EXPECT_EQ(rig.Run({"add", "ZT-Gandry-Demon", "--force"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("cannot watch itself"));
  EXPECT_EQ(rig.Run({"add", "NoSuchService"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("--force"));
  EXPECT_EQ(rig.Run({"add", "Spooler|x"}), 2);
  EXPECT_EQ(rig.Run({"add", "X", "--attempts", "-1", "--force"}), 2);
  EXPECT_EQ(rig.Run({"add", "X", "--restart-every", "1h", "--force"}), 2);
  EXPECT_EQ(rig.ini.writes(), 0);

  // --force adds what the service manager does not know; a stopped watchdog is not reloaded.
  rig.Installed(ServiceState::kStopped);
  EXPECT_EQ(rig.Run({"add", "NoSuchService", "--force"}), 0);
  EXPECT_THAT(rig.out, HasSubstr("not running"));
  EXPECT_THAT(rig.services.Find(kWatchdog)->commands, IsEmpty());
}

TEST(ManagerItems, RemoveTakesEveryItemOfTheServiceInAnyLetterCase) {
  ManagerRig rig;
  rig.Ini({"Spooler||3|0", "W32Time||1|0", "spooler|again|1|60"});
  EXPECT_EQ(rig.Run({"remove", "SPOOLER"}), 0) << rig.err;
  EXPECT_THAT(Items(rig.ini), ElementsAre("Item2=W32Time||1|0"));
  EXPECT_THAT(rig.out, HasSubstr("Removed Item3=spooler|again|1|60."));
  EXPECT_EQ(rig.Run({"remove", "Spooler"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("No item"));
}

// The profile functions reach a key's first line only; a later line with the same key is never
// watched, and remove never deletes one that names another service.
TEST(ManagerItems, ARepeatedKeyIsNamedAndRemoveTakesOnlyLinesOfTheService) {
  ManagerRig rig;
  rig.Ini({"A||3|0", "C||3|0"});
  rig.ini.AddLine(kIni, "Services", "item1", "B||3|0");
  rig.ini.AddLine(kIni, "Services", "Item2", "C|again|1|0");
  EXPECT_EQ(rig.Run({"list"}), 0);
  EXPECT_EQ(rig.out,
            "Item1: A, attempts 3, period 0 min (Item1 is on 2 lines: the watchdog reads only "
            "the first)\n"
            "Item2: C, attempts 3, period 0 min (Item2 is on 2 lines: the watchdog reads only "
            "the first)\n");
  EXPECT_EQ(rig.Run({"remove", "B"}), 1);
  EXPECT_EQ(rig.Run({"remove", "a"}), 0) << rig.err;
  EXPECT_THAT(Items(rig.ini), ElementsAre("Item2=C||3|0", "item1=B||3|0", "Item2=C|again|1|0"));
  EXPECT_THAT(rig.out, HasSubstr("Removed Item1=A||3|0.\nKept Item1=B||3|0, a later line"));
  EXPECT_EQ(rig.Run({"remove", "C"}), 0);
  EXPECT_THAT(Items(rig.ini), ElementsAre("item1=B||3|0"));
}

TEST(ManagerItems, SetWritesOnlyValuesTheWatchdogKeeps) {
  ManagerRig rig;
  rig.Ini({});
  EXPECT_EQ(rig.Run({"set", "loopdelaythread", "5"}), 0);
  EXPECT_EQ(rig.Run({"set", "StartDelayThread", "120"}), 0);
  EXPECT_EQ(rig.Run({"set", "watchmode", "NOTIFY"}), 0);
  EXPECT_EQ(rig.Run({"set", "events", "Detailed"}), 0);
  const int writes = rig.ini.writes();
  for (const char* bad : {"4", "121", "", "30s", "abc", "180"}) {
    EXPECT_EQ(rig.Run({"set", "LoopDelayService", bad}), 1) << bad;
    EXPECT_THAT(rig.err, HasSubstr("left as it was"));
  }
  EXPECT_EQ(rig.Run({"set", "WatchMode", "sometimes"}), 1);
  EXPECT_EQ(rig.Run({"set", "Events", "verbose"}), 1);
  EXPECT_EQ(rig.Run({"set", "Item1", "Spooler"}), 2);
  EXPECT_EQ(rig.ini.writes(), writes);
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "LoopDelayThread"), "5");
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "LoopDelayService"), "20");
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "StartDelayThread"), "120");
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "WatchMode"), "notify");
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "Events"), "detailed");
  EXPECT_EQ(rig.Run({"set", "metricsfile", " D:\\m\\gandry.prom "}), 0);
  EXPECT_EQ(rig.ini.Value(kIni, "Settings", "MetricsFile"), "D:\\m\\gandry.prom");
}

TEST(ManagerItems, ListShowsTheItemsInFileOrderAndEditsNeedGandryIni) {
  ManagerRig rig;
  EXPECT_EQ(rig.Run({"list"}), 1);
  EXPECT_EQ(rig.Run({"set", "LoopDelayThread", "10"}), 1);
  EXPECT_EQ(rig.Run({"add", "Spooler", "--force"}), 1);
  EXPECT_THAT(rig.err, HasSubstr("gandry-manager install"));
  EXPECT_EQ(rig.ini.writes(), 0);

  rig.Ini({"W32Time", "Spooler|Print spooler|3|1440"});
  EXPECT_EQ(rig.Run({"list"}), 0);
  EXPECT_EQ(rig.out,
            "Item1: W32Time, attempts 0, period 0 min\n"
            "Item2: Spooler, attempts 3, period 1440 min\n");

  // A file that cannot be read is no empty list, and no edit touches it.
  rig.ini.unreadable[kIni] = win_error::kSharingViolation;
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"list"}, {"status"}, {"set", "LoopDelayThread", "10"}, {"remove", "W32Time"}}) {
    EXPECT_EQ(rig.Run(command), 1) << command[0];
    EXPECT_THAT(rig.err, HasSubstr("Gandry.ini: The process cannot access the file because it "
                                   "is being used by another process.\n"))
        << command[0];
  }
  EXPECT_THAT(rig.out, Not(HasSubstr("lists no")));
}

}  // namespace
}  // namespace gandry
