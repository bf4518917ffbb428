#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/ring_reader.h"
#include "tools/wine_rig/watchdog_folder.h"

namespace gandry {
namespace {

using rig::BinFolder;

struct Outcome {
  bool started = false;
  bool ended = false;
  DWORD exit_code = 0;
};

// A window station of our own with a desktop on it: like a service's, nobody can see it.
const char* InvisibleDesktop() {
  static const bool created = [] {
    HWINSTA station = CreateWindowStationA("gandry-test-station", 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr) {
      return false;
    }
    HWINSTA own = GetProcessWindowStation();
    SetProcessWindowStation(station);
    HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    return desktop != nullptr;
  }();
  return created ? "gandry-test-station\\Default" : nullptr;
}

// Runs `program` with `args` and waits for its end, for at most `timeout_ms`; on the given
// desktop, or on this process's own when `desktop` is null.
Outcome RunProgram(const std::string& program, const std::string& args, DWORD timeout_ms,
                   const char* desktop = nullptr) {
  std::string command = "\"" + program + "\"" + (args.empty() ? "" : " " + args);
  std::string desktop_name = desktop != nullptr ? desktop : "";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop != nullptr ? desktop_name.data() : nullptr;
  PROCESS_INFORMATION process{};
  Outcome outcome;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return outcome;
  }
  outcome.started = true;
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    outcome.ended = true;
    GetExitCodeProcess(process.hProcess, &outcome.exit_code);
  } else {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hProcess);
  return outcome;
}

TEST(WindowStation, OnlyTheInteractiveStationCountsAsVisible) {
  ASSERT_NE(InvisibleDesktop(), nullptr);
  const std::string probe = BinFolder() + "entry\\window_station_probe.exe";
  const Outcome hidden = RunProgram(probe, "", 30000, InvisibleDesktop());
  ASSERT_TRUE(hidden.ended);
  EXPECT_EQ(hidden.exit_code, 0u);
  const Outcome own = RunProgram(probe, "", 30000);
  ASSERT_TRUE(own.ended);
  EXPECT_EQ(own.exit_code, 1u);
}

TEST(GandrySvc, ABadCommandLineWhereNobodyCanSeeABoxEndsAtOnceWithExitCode31) {
  ASSERT_NE(InvisibleDesktop(), nullptr);
  const std::string svc = BinFolder() + "gandry.svc";
  for (const char* args :
       {"", "-debug x", "debug", "-deb", "/", "--service", "\"-debug \"", "-debugging"}) {
    SCOPED_TRACE(args);
    const Outcome outcome = RunProgram(svc, args, 30000, InvisibleDesktop());
    ASSERT_TRUE(outcome.started);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exit_code, 31u);
  }
}

TEST(GandrySvc, ABadCommandLineShowsTheBoxAndEndsWithExitCode31) {
  // With a display the box would wait for a click; without one it returns at once.
  if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) != 0) {
    GTEST_SKIP() << "a display is attached";
  }
  const Outcome outcome = RunProgram(BinFolder() + "gandry.svc", "-debug x", 30000);
  ASSERT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_code, 31u);
}

TEST(GandrySvc, ServiceModeOutsideTheServiceManagerEndsWithExitCode0) {
  const std::string svc = BinFolder() + "gandry.svc";
  // The platform may take a while to refuse the dispatcher.
  const Outcome outcome = RunProgram(svc, "/SERVICE", 60000);
  ASSERT_TRUE(outcome.started);
  ASSERT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_code, 0u);
}

TEST(GandrySvc, DebugModeOpensTheRingAndRunsTheWatchdog) {
  rig::RingReader ring;
  ASSERT_TRUE(ring.opened());
  // A folder of its own, so that the configuration file the run writes stays out of
  // everybody else's way.
  rig::WatchdogFolder folder("gandry-entry");
  // Without items the run ends by itself.
  const Outcome outcome = RunProgram(folder.program(), "-Debug", 60000);
  ASSERT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_code, 0u);
  const std::vector<std::string>& lines = ring.Lines();
  ASSERT_FALSE(lines.empty());
  const std::string last = lines.back();
  const std::string tail = ": Nothing to do. Exiting.";
  ASSERT_GT(last.size(), tail.size());
  EXPECT_EQ(last.substr(last.size() - tail.size()), tail);
}

}  // namespace
}  // namespace gandry
