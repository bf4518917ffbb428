#include <windows.h>

#include <tlhelp32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/zt_mapfile.h"
#include "tools/wine_rig/child_process.h"
#include "tools/wine_rig/ring_reader.h"
#include "tools/wine_rig/watchdog_folder.h"

namespace gandry {
namespace {

using rig::ChildProcess;
using rig::RingReader;
using rig::WatchdogFolder;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr DWORD kWaitLimitMs = 25'000;

bool AnyContains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

int ThreadsOf(DWORD process_id) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == process_id ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

// Binary junk without NUL bytes, starting with ASCII so that it carries no byte-order mark.
std::string Junk(std::size_t length) {
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> byte(1, 255);
  std::string junk = "junk";
  while (junk.size() < length) {
    junk += static_cast<char>(byte(random));
  }
  return junk;
}

const char kShortDelays[] =
    "[Settings]\r\nLoopDelayThread=5\r\nLoopDelayService=5\r\nStartDelayThread=5\r\n";

TEST(WatchdogRobustness, AllJunkIniGivesTheDefaultsAndEnds) {
  WatchdogFolder folder("gandry-robust");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIniText(Junk(1 << 20)));
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  EXPECT_EQ(watchdog.WaitExit(kWaitLimitMs), 0u);
  const auto& lines = ring.Lines();
  ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[1], "Items not found.");
  EXPECT_THAT(lines[2], HasSubstr(": Nothing to do. Exiting."));
  EXPECT_EQ(folder.Read("Settings", "StartDelayThread"), "180");
}

// A megabyte of junk before the real sections, an item of 2047 characters and a name full of
// format characters and bytes beyond ASCII: the watchdog reads them, names them as they are,
// and keeps running past its first checks.
TEST(WatchdogRobustness, JunkLongItemsAndFormatCharactersAreWatched) {
  WatchdogFolder folder("gandry-robust");
  ASSERT_TRUE(folder.ready());
  const std::string long_name(2047 - 6, 'L');
  const std::string odd_name = "gandry %s %n %d \"quoted\" \xE4\xF6\xFC";
  ASSERT_TRUE(folder.WriteIniText(Junk(1 << 20) + "\r\n" + kShortDelays +
                                  "[Services]\r\nItem1=" + long_name +
                                  "||3|0\r\nItem2=" + odd_name + "|caption %x|3|1\r\n"));
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  const std::string summary = ": Self service was successfully started. Taked 2 item(s)";
  ASSERT_TRUE(
      ring.WaitFor([&](const auto& lines) { return AnyContains(lines, summary); }, kWaitLimitMs))
      << ::testing::PrintToString(ring.Lines());
  const auto& lines = ring.Lines();
  EXPECT_THAT(lines, Contains("Successfully loaded 2 items."));
  EXPECT_THAT(lines, Contains(HasSubstr(": start thread #1 of [LLLLLLLL")));
  EXPECT_THAT(lines, Contains(HasSubstr(": start thread #2 of [" + odd_name + "]")));
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), kChannelLineMax);
  }
  // Past the start delay and a first pass on both (unknown) services.
  EXPECT_EQ(watchdog.WaitExit(7000), static_cast<DWORD>(STILL_ACTIVE));
}

// Hundreds of monitors start, all check their services at once after a short start delay, and
// the watchdog lives on. Under Wine a thread costs about 3 MB of address space (a 32-bit
// watchdog holds some 1270 monitors) and creating threads slows down as they grow in number: a
// thousand can take longer than this test may on a busy machine.
TEST(WatchdogRobustness, HundredsOfItemsAllGetAMonitor) {
  constexpr int kItems = 300;
  WatchdogFolder folder("gandry-robust");
  ASSERT_TRUE(folder.ready());
  std::string ini = std::string(kShortDelays) + "[Services]\r\n";
  for (int i = 1; i <= kItems; ++i) {
    ini += "Item" + std::to_string(i) + "=gandry-robust-missing-" + std::to_string(i) + "||3|1\r\n";
  }
  ASSERT_TRUE(folder.WriteIniText(ini));
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  const std::string summary =
      ": Self service was successfully started. Taked 300 item(s) for "
      "manage:\n 1. [gandry-robust-missing-1||3|1]\n 2. [";
  ASSERT_TRUE(
      ring.WaitFor([&](const auto& lines) { return AnyContains(lines, summary); }, kWaitLimitMs))
      << ring.Lines().size() << " lines";
  EXPECT_GE(ThreadsOf(watchdog.id()), kItems);
  EXPECT_EQ(watchdog.WaitExit(7000), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_GE(ThreadsOf(watchdog.id()), kItems);
}

}  // namespace
}  // namespace gandry
