#include <gtest/gtest.h>

#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_event_log.h"
#include "fakes/fake_ini_store.h"
#include "fakes/fake_service_manager.h"
#include "fakes/fake_shared_memory.h"
#include "fakes/fake_threads.h"
#include "watchdog/config.h"

namespace gandry {
namespace {

constexpr char kIni[] = "C:\\Gandry\\Gandry.ini";

std::vector<std::string> Lines(MessageChannel& channel) {
  std::vector<std::string> lines;
  std::string line;
  while (channel.take(line)) {
    lines.push_back(line);
  }
  return lines;
}

TEST(DirectoryOf, EndsAtTheLastBackslashOrColon) {
  EXPECT_EQ(DirectoryOf("C:\\Program Files\\Gandry\\gandry.svc"), "C:\\Program Files\\Gandry\\");
  EXPECT_EQ(DirectoryOf("C:gandry.svc"), "C:");
  EXPECT_EQ(DirectoryOf("\\\\host\\share\\gandry.svc"), "\\\\host\\share\\");
  EXPECT_EQ(DirectoryOf("gandry.svc"), "");
}

struct DelayCase {
  const char* key;
  const char* text;  // nullptr: the key is missing
  int fallback;
  int expected;
  bool rewritten;
};

TEST(ReadDelaySetting, UsesFiveToOneTwentyAndWritesTheDefaultBackOtherwise) {
  const DelayCase cases[] = {
      {"LoopDelayThread", "4", 30, 30, true},      {"LoopDelayThread", "5", 30, 5, false},
      {"LoopDelayThread", "120", 30, 120, false},  {"LoopDelayThread", "121", 30, 30, true},
      {"LoopDelayService", "abc", 20, 20, true},   {"LoopDelayService", "12abc", 20, 20, true},
      {"LoopDelayService", "1.5", 20, 20, true},   {"LoopDelayService", "0x1E", 20, 30, false},
      {"LoopDelayService", "-10", 20, 20, true},   {"LoopDelayService", "2147483658", 20, 20, true},
      {"LoopDelayService", "", 20, 20, true},      {"StartDelayThread", "60", 180, 60, false},
      {"StartDelayThread", "180", 180, 180, true}, {"StartDelayThread", nullptr, 180, 180, true},
  };
  for (const DelayCase& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + (c.text ? c.text : "(missing)"));
    FakeIniStore ini;
    if (c.text != nullptr) {
      ini.AddLine(kIni, "Settings", c.key, c.text);
    }
    EXPECT_EQ(ReadDelaySetting(ini, kIni, "Settings", c.key, c.fallback), c.expected);
    EXPECT_EQ(ini.writes(), c.rewritten ? 1 : 0);
    if (c.rewritten) {
      EXPECT_EQ(ini.Value(kIni, "Settings", c.key), std::to_string(c.fallback));
    }
  }
}

TEST(ReadDelaySetting, AFailedWriteBackStillGivesTheDefault) {
  FakeIniStore ini;
  ini.AddLine(kIni, "Settings", "LoopDelayThread", "4");
  ini.SetWritesFail(true);
  EXPECT_EQ(ReadDelaySetting(ini, kIni, "Settings", "LoopDelayThread", 30), 30);
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayThread"), "4");
}

class LoadItemsTest : public ::testing::Test {
 protected:
  LoadItemsTest() { channel.open(); }

  FakeIniStore ini;
  FakeSharedMemory memory;
  MessageChannel channel{memory};
};

TEST_F(LoadItemsTest, KeepsItemKeysOfAnyCaseInFileOrder) {
  ini.AddLine(kIni, "Services", "item1", "Spooler||3|1440");
  ini.AddLine(kIni, "Services", "Service1", "Other||1|0");
  ini.AddLine(kIni, "Services", "ITEM_backup", "Backup|x|0|60");
  ini.AddLine(kIni, "Services", "Items", "a=b");
  // The platform lists a duplicated key twice and reads its first value both times.
  ini.AddLine(kIni, "Services", "item1", "Ignored||1|0");
  ini.AddLine(kIni, "Settings", "Item9", "elsewhere");

  EXPECT_EQ(
      LoadItems(ini, kIni, &channel),
      (std::vector<std::string>{"Spooler||3|1440", "Backup|x|0|60", "a=b", "Spooler||3|1440"}));
  EXPECT_EQ(Lines(channel), std::vector<std::string>{"Successfully loaded 4 items."});
}

TEST_F(LoadItemsTest, ReportsAnEmptySectionOnlyWithAChannel) {
  ini.AddLine(kIni, "Services", "Service1", "Other||1|0");
  EXPECT_TRUE(LoadItems(ini, kIni, &channel).empty());
  EXPECT_EQ(Lines(channel), std::vector<std::string>{"Items not found."});
  EXPECT_TRUE(LoadItems(ini, "missing.ini", nullptr).empty());
  EXPECT_TRUE(Lines(channel).empty());
}

TEST_F(LoadItemsTest, CutsValuesTo200Characters) {
  const std::string value = "Long|" + std::string(245, 'v');
  ini.AddLine(kIni, "Services", "Item1", value);
  EXPECT_EQ(LoadItems(ini, kIni, nullptr), std::vector<std::string>{value.substr(0, 200)});
}

class LoadConfigurationTest : public ::testing::Test {
 protected:
  LoadConfigurationTest() { channel.open(); }

  Watchdog Make(RunMode mode) {
    return Watchdog(mode, "C:\\Gandry\\gandry.svc", clock, threads, services, ini, channel, log);
  }

  FakeClock clock;
  FakeThreads threads{clock};
  FakeServiceManager services;
  FakeIniStore ini;
  FakeSharedMemory memory;
  MessageChannel channel{memory};
  FakeEventLog events;
  WatchdogLog log{kDebugMode, clock, DateTimeFormat{}, channel, events};
};

TEST_F(LoadConfigurationTest, ReadsTheIniBesideTheProgramAndTalksInDebugMode) {
  ini.AddLine(kIni, "Settings", "LoopDelayThread", "10");
  ini.AddLine(kIni, "Services", "Item1", "Spooler||3|1440");
  ini.AddLine(kIni, "Services", "Item2", "W32Time||0|60");
  Watchdog watchdog = Make(kDebugMode);
  LoadConfiguration(watchdog);

  EXPECT_EQ(watchdog.settings.loop_delay_thread_ms.load(), 10'000);
  EXPECT_EQ(watchdog.settings.loop_delay_service_ms.load(), 20'000);
  EXPECT_EQ(watchdog.settings.start_delay_thread_ms.load(), 180'000);
  EXPECT_EQ(watchdog.items, (std::vector<std::string>{"Spooler||3|1440", "W32Time||0|60"}));
  EXPECT_EQ(Lines(channel),
            (std::vector<std::string>{"Configuration file: [C:\\Gandry\\Gandry.ini]",
                                      "Successfully loaded 2 items."}));
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayService"), "20");
  EXPECT_EQ(ini.Value(kIni, "Settings", "StartDelayThread"), "180");
}

TEST_F(LoadConfigurationTest, CreatesTheDefaultsAndStaysSilentInServiceMode) {
  Watchdog watchdog = Make(kServiceMode);
  LoadConfiguration(watchdog);

  EXPECT_TRUE(watchdog.items.empty());
  EXPECT_EQ(watchdog.settings.loop_delay_thread_ms.load(), 30'000);
  EXPECT_TRUE(Lines(channel).empty());
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayService"), "20");
  EXPECT_EQ(ini.Value(kIni, "Settings", "StartDelayThread"), "180");
}

}  // namespace
}  // namespace gandry
