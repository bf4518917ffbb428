#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/child_process.h"
#include "tools/wine_rig/registered_service.h"
#include "tools/wine_rig/ring_reader.h"
#include "tools/wine_rig/watchdog_folder.h"

namespace gandry {
namespace {

using rig::ChildProcess;
using rig::RegisteredService;
using rig::RingReader;
using rig::TestServiceCommand;
using rig::UniqueName;
using rig::WatchdogFolder;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr DWORD kWaitLimitMs = 60'000;

int CountEnding(const std::vector<std::string>& lines, const std::string& tail) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.size() >= tail.size() &&
           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  }));
}

TEST(WatchdogEndToEnd, DebugRunInAnEmptyFolderWritesTheDefaultsAndEnds) {
  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  EXPECT_EQ(watchdog.WaitExit(30'000), 0u);

  const auto& lines = ring.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Configuration file: [" + folder.ini() + "]");
  EXPECT_EQ(lines[1], "Items not found.");
  EXPECT_THAT(lines[2], ::testing::MatchesRegex("^\\d.*: Nothing to do\\. Exiting\\.$"));
  EXPECT_EQ(folder.Read("Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(folder.Read("Settings", "LoopDelayService"), "20");
  EXPECT_EQ(folder.Read("Settings", "StartDelayThread"), "180");
}

// One debug run watching three services at once, to keep the run short: a stopped service is
// brought back, a service whose program does not exist runs out of attempts, and a negative
// period restarts a running service on every pass.
TEST(WatchdogEndToEnd, DebugRunBringsBackRestartsAndGivesUp) {
  RegisteredService stopped(UniqueName("gandry-e2e-stopped"), TestServiceCommand());
  RegisteredService missing(UniqueName("gandry-e2e-missing"),
                            "\"C:\\no-such-folder\\no-such-service.exe\"");
  RegisteredService running(UniqueName("gandry-e2e-running"), TestServiceCommand());
  ASSERT_TRUE(stopped.registered() && missing.registered() && running.registered());
  ASSERT_TRUE(running.Start());
  ASSERT_TRUE(running.WaitForState(SERVICE_RUNNING, kWaitLimitMs));

  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(
      5, 5, 5,
      {stopped.name() + "||3|0", missing.name() + "|no program|1|0", running.name() + "||0|-1"}));

  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  const std::string started =
      ": Service [" + stopped.name() + "] successfully started by 3 attempt(s).";
  const std::string expired =
      ": Attempts (1) to start service [" + missing.name() + "] is expired.";
  const std::string restarted = "Service [" + running.name() + "] successfully restarted.";
  const bool all_seen = ring.WaitFor(
      [&](const std::vector<std::string>& lines) {
        int restarts = 0;
        for (const auto& line : lines) {
          restarts += line.find(restarted) != std::string::npos ? 1 : 0;
        }
        return CountEnding(lines, started) == 1 && CountEnding(lines, expired) >= 1 &&
               restarts >= 2;
      },
      kWaitLimitMs);
  const auto& lines = ring.Lines();
  EXPECT_TRUE(all_seen) << ::testing::PrintToString(lines);
  EXPECT_EQ(stopped.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(running.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(watchdog.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));

  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], "Successfully loaded 3 items.");
  EXPECT_EQ(CountEnding(lines, ": start thread #1 of [" + stopped.name() + "]"), 1);
  EXPECT_EQ(CountEnding(lines, ": start thread #3 of [" + running.name() + "]"), 1);
  EXPECT_THAT(lines, Contains(HasSubstr(": Self service was successfully started. Taked 3 item(s) "
                                        "for manage:\n 1. [" +
                                        stopped.name() + "||3|0]\n 2. [")));
}

// A service that refuses the stop control keeps running through its scheduled restart: that
// is no restart and must not be reported as one, but the refusal is. A normal service on the
// same schedule in the same run shows that the schedule did come due.
TEST(WatchdogEndToEnd, RefusedStopIsNotReportedAsARestart) {
  RegisteredService refusing(UniqueName("gandry-e2e-nostop"), TestServiceCommand("--no-stop"));
  RegisteredService normal(UniqueName("gandry-e2e-normal"), TestServiceCommand());
  ASSERT_TRUE(refusing.registered() && normal.registered());
  ASSERT_TRUE(refusing.StartRunning() && normal.StartRunning());
  ASSERT_FALSE(refusing.Stop());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  const DWORD refusing_pid = refusing.ProcessId();
  const DWORD normal_pid = normal.ProcessId();

  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(5, 5, 5, {refusing.name() + "||0|-1", normal.name() + "||0|-1"}));
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  ASSERT_TRUE(
      ring.WaitForLine("Service [" + normal.name() + "] successfully restarted.", kWaitLimitMs))
      << ::testing::PrintToString(ring.Lines());
  // Both monitors started together: one more loop pause covers the refusing one's pass.
  Sleep(7'000);

  const auto& lines = ring.Lines();
  EXPECT_THAT(lines, ::testing::Not(Contains(
                         HasSubstr("Service [" + refusing.name() + "] successfully restarted."))));
  // Refused on every pass, said once.
  EXPECT_EQ(CountEnding(lines, ": Service [" + refusing.name() +
                                   "] was not restarted: its stop was refused (error 1052)."),
            1);
  EXPECT_EQ(refusing.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(refusing.ProcessId(), refusing_pid);
  EXPECT_EQ(normal.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_NE(normal.ProcessId(), normal_pid);
}

// A stop that hangs for good, with HungServices=kill: once the stop's bounded wait is over the
// watchdog ends the service's process, and Wine's service manager takes the restart's start
// although it still shows the old process stop pending.
TEST(WatchdogEndToEnd, HungStopIsEndedWithKillAndTheRestartGoesOn) {
  RegisteredService hanging(UniqueName("gandry-e2e-hang"), TestServiceCommand("--hang-stop"));
  ASSERT_TRUE(hanging.registered() && hanging.StartRunning());
  const DWORD hung_pid = hanging.ProcessId();
  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(5, 5, 5, {hanging.name() + "||0|-1"}));
  ASSERT_TRUE(WritePrivateProfileStringA("Settings", "HungServices", "kill", folder.ini().c_str()));
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  const ULONGLONG begun = GetTickCount64();
  ASSERT_TRUE(ring.WaitForLine("Service [" + hanging.name() +
                                   "] hung in stop pending; its process " +
                                   std::to_string(hung_pid) + " was ended.",
                               90'000))
      << ::testing::PrintToString(ring.Lines());
  EXPECT_TRUE(rig::WaitProcessEnd(hung_pid, 5'000));
  EXPECT_TRUE(ring.WaitForLine("Service [" + hanging.name() + "] successfully restarted.", 30'000))
      << ::testing::PrintToString(ring.Lines());
  std::printf("watchdog start to restarted line: %llu ms\n", GetTickCount64() - begun);
  EXPECT_EQ(hanging.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_NE(hanging.ProcessId(), hung_pid);
}

TEST(WatchdogEndToEnd, RunsAsTheServiceAndAnswersItsControls) {
  RegisteredService watched(UniqueName("gandry-e2e-watched"), TestServiceCommand());
  ASSERT_TRUE(watched.registered());
  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  // Long pauses everywhere: a prompt stop shows that the waits wake at once.
  ASSERT_TRUE(folder.WriteIni(120, 120, 120, {watched.name() + "||3|0"}));
  RegisteredService gandry("zt-gandry-demon", folder.CommandLine("-service"));
  ASSERT_TRUE(gandry.registered());

  ASSERT_TRUE(gandry.Start());
  ASSERT_TRUE(gandry.WaitForState(SERVICE_RUNNING, kWaitLimitMs));
  const SERVICE_STATUS running = gandry.Status();
  EXPECT_EQ(running.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(running.dwControlsAccepted,
            static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                               SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE));

  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_PAUSE));
  EXPECT_TRUE(gandry.WaitForState(SERVICE_PAUSED, kWaitLimitMs));
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_CONTINUE));
  EXPECT_TRUE(gandry.WaitForState(SERVICE_RUNNING, kWaitLimitMs));
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_INTERROGATE));
  EXPECT_EQ(gandry.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  const ULONGLONG stop_requested = GetTickCount64();
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_STOP));
  ASSERT_TRUE(gandry.WaitForState(SERVICE_STOPPED, kWaitLimitMs));
  const ULONGLONG latency = GetTickCount64() - stop_requested;
  std::printf("service stop latency: %llu ms\n", latency);
  // Far below the 120 s pauses of the supervisor and the monitor.
  EXPECT_LT(latency, 20'000u);
  // A stop on request is a clean end, not a failure.
  const SERVICE_STATUS stopped = gandry.Status();
  EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
  EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
}

// A pass would come two minutes after the first pause began; the reported stop is acted on
// at once.
TEST(WatchdogEndToEnd, NotifyModeStartsAServiceStoppedFromOutsideAtOnce) {
  RegisteredService watched(UniqueName("gandry-e2e-notify"), TestServiceCommand());
  ASSERT_TRUE(watched.registered() && watched.StartRunning());
  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(120, 120, 5, {watched.name() + "||3|0"}));
  ASSERT_TRUE(WritePrivateProfileStringA("Settings", "WatchMode", "Notify", folder.ini().c_str()));
  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  ASSERT_TRUE(ring.WaitForLine("start thread #1 of [" + watched.name() + "]", kWaitLimitMs));
  // The subscription is made when the start delay is over.
  Sleep(7'000);
  ASSERT_TRUE(watched.Stop());
  const ULONGLONG stopped = GetTickCount64();
  EXPECT_TRUE(ring.WaitForLine(
      "Service [" + watched.name() + "] successfully started by 3 attempt(s).", 60'000))
      << ::testing::PrintToString(ring.Lines());
  std::printf("stop to started line: %llu ms\n", GetTickCount64() - stopped);
  EXPECT_EQ(watched.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(watchdog.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));
}

// Both watched services are stopped. The first item's monitor is in its long start delay, so
// only a monitor made by the reload can start anything soon: one pause after the reload.
TEST(WatchdogEndToEnd, ParamChangeWatchesANewItemAndLeavesTheOtherMonitorAlone) {
  RegisteredService kept(UniqueName("gandry-e2e-kept"), TestServiceCommand());
  RegisteredService added(UniqueName("gandry-e2e-added"), TestServiceCommand());
  ASSERT_TRUE(kept.registered() && added.registered());
  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(5, 5, 120, {kept.name() + "||3|0"}));
  RegisteredService gandry("zt-gandry-demon", folder.CommandLine("-service"));
  ASSERT_TRUE(gandry.registered());
  ASSERT_TRUE(gandry.Start());
  ASSERT_TRUE(gandry.WaitForState(SERVICE_RUNNING, kWaitLimitMs));
  const DWORD process = gandry.ProcessId();
  // The service reports running before it reads its configuration.
  Sleep(2'000);

  ASSERT_TRUE(WritePrivateProfileStringA("Services", "Item2", (added.name() + "||3|0").c_str(),
                                         folder.ini().c_str()));
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_PARAMCHANGE));
  EXPECT_TRUE(added.WaitForState(SERVICE_RUNNING, kWaitLimitMs));
  // A pause more: a new monitor for the first item would have started its service by now.
  Sleep(6'000);
  EXPECT_EQ(kept.State(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(gandry.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(gandry.ProcessId(), process);
}

TEST(WatchdogEndToEnd, ServiceWithoutItemsStopsByItself) {
  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(120, 120, 120, {}));
  RegisteredService gandry("zt-gandry-demon", folder.CommandLine("-service"));
  ASSERT_TRUE(gandry.registered());
  ASSERT_TRUE(gandry.Start());
  EXPECT_TRUE(gandry.WaitForState(SERVICE_STOPPED, 20'000));
  EXPECT_EQ(gandry.Status().dwWin32ExitCode, 0u);
}

}  // namespace
}  // namespace gandry
