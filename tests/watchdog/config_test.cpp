#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_event_log.h"
#include "fakes/fake_files.h"
#include "fakes/fake_health_probe.h"
#include "fakes/fake_ini_store.h"
#include "fakes/fake_service_manager.h"
#include "fakes/fake_shared_memory.h"
#include "fakes/fake_text_encoding.h"
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
  const DelaySetting& setting;
  const char* text;  // nullptr: the key is missing
  int expected;
  bool write_back;
};

TEST(ReadDelay, UsesFiveToOneTwentyAndWritesBackOnlyWhatTheFileDoesNotSay) {
  const DelayCase cases[] = {
      {kLoopDelayThread, "4", 30, true},      {kLoopDelayThread, "5", 5, false},
      {kLoopDelayThread, "120", 120, false},  {kLoopDelayThread, "121", 30, true},
      {kLoopDelayService, "abc", 20, true},   {kLoopDelayService, "12abc", 20, true},
      {kLoopDelayService, "1.5", 20, true},   {kLoopDelayService, "0x1E", 30, false},
      {kLoopDelayService, "-10", 20, true},   {kLoopDelayService, "2147483658", 20, true},
      {kLoopDelayService, "", 20, true},      {kStartDelayThread, "60", 60, false},
      {kStartDelayThread, "180", 180, false}, {kStartDelayThread, nullptr, 180, true},
      {kLoopDelayThread, "30", 30, false},
  };
  for (const DelayCase& c : cases) {
    SCOPED_TRACE(std::string(c.setting.key) + "=" + (c.text ? c.text : "(missing)"));
    FakeIniStore ini;
    if (c.text != nullptr) {
      ini.AddLine(kIni, "Settings", c.setting.key, c.text);
    }
    const DelayReading reading = ReadDelay(*ini.Read(kIni).value(), "Settings", c.setting);
    EXPECT_EQ(reading.seconds, c.expected);
    EXPECT_EQ(reading.write_back, c.write_back);
  }
}

class LoadItemsTest : public ::testing::Test {
 protected:
  LoadItemsTest() { channel.open(); }

  FakeIniStore ini;
  FakeHealthProbe probe;
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
      LoadItems(*ini.Read(kIni).value(), &channel),
      (std::vector<std::string>{"Spooler||3|1440", "Backup|x|0|60", "a=b", "Spooler||3|1440"}));
  EXPECT_EQ(Lines(channel), std::vector<std::string>{"Successfully loaded 4 items."});
}

TEST_F(LoadItemsTest, ReportsAnEmptySectionOnlyWithAChannel) {
  ini.AddLine(kIni, "Services", "Service1", "Other||1|0");
  EXPECT_TRUE(LoadItems(*ini.Read(kIni).value(), &channel).empty());
  EXPECT_EQ(Lines(channel), std::vector<std::string>{"Items not found."});
  EXPECT_TRUE(LoadItems(*ini.Read("missing.ini").value(), nullptr).empty());
  EXPECT_TRUE(Lines(channel).empty());
}

TEST_F(LoadItemsTest, CutsValuesTo200Characters) {
  const std::string value = "Long|" + std::string(245, 'v');
  ini.AddLine(kIni, "Services", "Item1", value);
  EXPECT_EQ(LoadItems(*ini.Read(kIni).value(), nullptr),
            std::vector<std::string>{value.substr(0, 200)});
}

class LoadConfigurationTest : public ::testing::Test {
 protected:
  LoadConfigurationTest() { channel.open(); }

  Watchdog Make(RunMode mode) {
    return Watchdog(mode, "C:\\Gandry\\gandry.svc", clock, threads, services, ini, probe, files,
                    encoding, channel, log);
  }

  FakeClock clock;
  FakeThreads threads{clock};
  FakeServiceManager services;
  FakeIniStore ini;
  FakeHealthProbe probe;
  FakeFiles files;
  FakeTextEncoding encoding;
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
  ASSERT_TRUE(LoadConfiguration(watchdog));

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
  ASSERT_TRUE(LoadConfiguration(watchdog));

  EXPECT_TRUE(watchdog.items.empty());
  EXPECT_EQ(watchdog.settings.loop_delay_thread_ms.load(), 30'000);
  EXPECT_TRUE(Lines(channel).empty());
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayService"), "20");
  EXPECT_EQ(ini.Value(kIni, "Settings", "StartDelayThread"), "180");
}

TEST_F(LoadConfigurationTest, WritesBackInOneEditOnlyWhatTheFileDoesNotSay) {
  ini.AddLine(kIni, "Settings", "LoopDelayThread", "30");
  ini.AddLine(kIni, "Settings", "LoopDelayService", "0x14");
  ini.AddLine(kIni, "Settings", "StartDelayThread", "180");
  Watchdog watchdog = Make(kServiceMode);
  ASSERT_TRUE(LoadConfiguration(watchdog));
  EXPECT_EQ(ini.writes(), 0);

  // Another edit holds the lock for a while; the write-back waits for it.
  ASSERT_TRUE(ini.WriteValue(kIni, "Settings", "LoopDelayThread", "4"));
  ini.busy = 3;
  ASSERT_TRUE(LoadConfiguration(watchdog));
  EXPECT_EQ(ini.writes(), 2);
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayService"), "0x14");

  // A write-back that fails leaves the value; the default is used all the same.
  ASSERT_TRUE(ini.WriteValue(kIni, "Settings", "LoopDelayThread", "121"));
  ini.SetWritesFail(true);
  watchdog.settings.loop_delay_thread_ms = 1;
  ASSERT_TRUE(LoadConfiguration(watchdog));
  EXPECT_EQ(watchdog.settings.loop_delay_thread_ms.load(), 30'000);
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayThread"), "121");
}

TEST_F(LoadConfigurationTest, HungServicesKillsOnlyWhenTheFileSaysKillAndIsNeverWritten) {
  Watchdog watchdog = Make(kServiceMode);
  ASSERT_TRUE(LoadConfiguration(watchdog));
  EXPECT_FALSE(watchdog.settings.kill_hung.load());
  for (const auto& [value, kill] : {std::pair{"KILL", true}, std::pair{"kil", false},
                                    std::pair{"leave", false}, std::pair{"kill", true}}) {
    ASSERT_TRUE(ini.WriteValue(kIni, "Settings", "HungServices", value));
    ASSERT_TRUE(LoadConfiguration(watchdog));
    EXPECT_EQ(watchdog.settings.kill_hung.load(), kill) << value;
  }
  EXPECT_EQ(ini.Value(kIni, "Settings", "HungServices"), "kill");
}

TEST_F(LoadConfigurationTest, AFileThatCannotBeReadChangesAndWritesNothing) {
  ini.AddLine(kIni, "Settings", "LoopDelayThread", "4");
  ini.unreadable[kIni] = win_error::kSharingViolation;  // for longer than the retries last
  Watchdog watchdog = Make(kDebugMode);
  watchdog.items = {"running||3|0"};
  watchdog.settings.loop_delay_thread_ms = 10'000;
  const Status loaded = LoadConfiguration(watchdog);
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().code, 32u);
  EXPECT_EQ(watchdog.items, std::vector<std::string>{"running||3|0"});
  EXPECT_EQ(watchdog.settings.loop_delay_thread_ms.load(), 10'000);
  EXPECT_EQ(ini.writes(), 0);
  EXPECT_EQ(ini.Value(kIni, "Settings", "LoopDelayThread"), "4");
}

}  // namespace
}  // namespace gandry
