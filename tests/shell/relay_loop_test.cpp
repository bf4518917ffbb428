#include "shell/relay_loop.h"

#include <gtest/gtest.h>

#include "shell/run_shell.h"
#include "shell/shell_test_fixture.h"

namespace gandry {
namespace {

constexpr char kOwnPath[] = "C:\\Tools\\Gandry.EXE";
constexpr char kBanner[] =
    "Gandry 1.0 BETA 3\r\n\r\n"
    "Please use Gandry Manager to manage as a service.\r\n"
    "Press CTRL+C key combinations to break.\r\n";

class RelayTest : public ::testing::Test, public ShellOnFakes {
 protected:
  void Run(const std::string& option) { RunShell(shell, kOwnPath, "gandry.exe " + option); }
  // Runs the loop alone on an open channel, with a child already held.
  void RelayOnly(RunMode mode) {
    shell.mode = mode;
    channel.open();
    shell.child = *processes.Start("x", "x");
    RelayLoop(shell);
  }
};

TEST_F(RelayTest, DebugRelaysUntilMarkerAndUnloadsChild) {
  processes.on_start = [this] { Write({"a", "b", "+zt-talk-done+", "c"}); };
  Run("-Debug");
  EXPECT_EQ(processes.started_application, "c:\\tools\\gandry.svc");
  EXPECT_EQ(processes.started_command_line, "c:\\tools\\gandry.svc -Debug");
  EXPECT_EQ(Screen(), std::string(kBanner) +
                          "Attempting to load [c:\\tools\\gandry.svc -Debug]...\r\n"
                          "Successfully loaded.\r\n"
                          "a\r\nb\r\n"
                          "Quillon successfully unloaded.\r\nDone.\r\n");
  EXPECT_EQ(console.title, "Gandry 1.0 BETA 3");
  EXPECT_EQ(processes.child->terminations, 1);
  EXPECT_EQ(processes.child->exit_code, 0u);
  EXPECT_EQ(processes.exited_with, 0u);
  EXPECT_EQ(console.handler_installs, 1);
  EXPECT_EQ(console.handler_removals, 1);
}

TEST_F(RelayTest, ProcessModeLeavesChildRunningAfterMarker) {
  DuringPause(2, [this] { Write({"late", "+zt-talk-done+"}); });
  Run("/process");
  EXPECT_EQ(Screen(), std::string(kBanner) +
                          "Attempting to load ...\r\nSuccessfully loaded.\r\nlate\r\nDone.\r\n");
  EXPECT_EQ(processes.child->terminations, 0);
  EXPECT_FALSE(processes.child->handle_open);
  EXPECT_EQ(processes.exited_with, 0u);
}

TEST_F(RelayTest, MarkerStopsTheDrainAndLeavesLaterLinesUnread) {
  Write({"a", "+zt-talk-done+", "behind"});
  RelayOnly(kProcessMode);
  EXPECT_EQ(Screen(), "a\r\n");
  std::string rest;
  ASSERT_TRUE(channel.take(rest));
  EXPECT_EQ(rest, "behind");
  EXPECT_EQ(clock.sleeps(), 0);
}

TEST_F(RelayTest, NearMarkersAreOrdinaryLines) {
  Write({"+zt-talk-done+ ", "+ZT-TALK-DONE+", " +zt-talk-done+"});
  DuringPause(3, [this] { Write({"+zt-talk-done+"}); });
  RelayOnly(kDebugMode);
  EXPECT_EQ(Screen(), "+zt-talk-done+ \r\n+ZT-TALK-DONE+\r\n +zt-talk-done+\r\n");
  EXPECT_EQ(clock.sleeps(), 3);
}

TEST_F(RelayTest, ChildEndInTheMarkersPassIsReported) {
  processes.on_start = [this] {
    Write({"a", "+zt-talk-done+"});
    processes.child->exit_code = 5;
  };
  Run("-process");
  EXPECT_NE(Screen().find("a\r\nQuillon was hand-up.\r\nDone.\r\n"), std::string::npos);
  EXPECT_EQ(processes.child->terminations, 0);
  EXPECT_EQ(processes.exited_with, 5u);
}

TEST_F(RelayTest, LinesBeforeTheChildsEndAreRelayedFirst) {
  DuringPause(1, [this] {
    Write({"before"});
    processes.child->exit_code = 3;
  });
  Run("-debug");
  EXPECT_NE(Screen().find("Successfully loaded.\r\nbefore\r\nQuillon was hand-up.\r\nDone.\r\n"),
            std::string::npos);
  EXPECT_EQ(processes.child->terminations, 0);
  EXPECT_EQ(processes.exited_with, 3u);
}

TEST_F(RelayTest, StillActiveCodeAndFailedQueriesCountAsRunning) {
  processes.child->query_fails = true;
  DuringPause(2, [this] { processes.child->query_fails = false; });
  DuringPause(5, [this] { Write({"+zt-talk-done+"}); });
  RelayOnly(kProcessMode);
  EXPECT_EQ(clock.sleeps(), 5);
  EXPECT_EQ(Screen(), "");
  EXPECT_TRUE(shell.child != nullptr);
}

TEST_F(RelayTest, ServiceModeGivesUpAfterElevenPassesSilently) {
  Run("-service");
  EXPECT_EQ(clock.sleeps(), 11);
  EXPECT_EQ(Screen(), "");
  EXPECT_EQ(console.title, "");
  EXPECT_EQ(processes.child->terminations, 1);
  EXPECT_EQ(processes.child->exit_code, 2u);
  EXPECT_EQ(processes.exited_with, 2u);
}

TEST_F(RelayTest, ServiceModeMarkerBeforeTheLastPassLeavesChildRunning) {
  DuringPause(10, [this] { Write({"x", "+zt-talk-done+"}); });
  Run("-SERVICE");
  EXPECT_EQ(clock.sleeps(), 10);
  EXPECT_EQ(Screen(), "");
  EXPECT_EQ(processes.child->terminations, 0);
  EXPECT_EQ(processes.exited_with, 0u);
}

TEST_F(RelayTest, ServiceModeChildThatEndsAtOnceGivesItsCode) {
  processes.on_start = [this] { processes.child->exit_code = 0; };
  Run("-service");
  EXPECT_EQ(clock.sleeps(), 0);
  EXPECT_EQ(Screen(), "");
  EXPECT_EQ(processes.child->terminations, 0);
  EXPECT_EQ(processes.exited_with, 0u);
}

TEST_F(RelayTest, FailedStartPrintsTheTrimmedSystemText) {
  processes.start_error = win_error::kFileNotFound;
  processes.error_texts[win_error::kFileNotFound] =
      "The system cannot find the file specified. \r\n";
  Run("-debug");
  EXPECT_NE(Screen().find("Load Quillon failure.\r\n"
                          "The system cannot find the file specified.\r\nDone.\r\n"),
            std::string::npos);
  EXPECT_EQ(Screen().find("Successfully loaded."), std::string::npos);
  EXPECT_EQ(clock.sleeps(), 0);
  EXPECT_EQ(processes.exited_with, 2u);
}

TEST_F(RelayTest, FailedTerminationIsReportedAndTheRunEndsAsUsual) {
  processes.child->terminate_fails = true;
  processes.error_texts[win_error::kAccessDenied] = "Access denied.";
  processes.on_start = [this] { Write({"+zt-talk-done+"}); };
  Run("-debug");
  EXPECT_NE(Screen().find("Unload Quillon failure.\r\nAccess denied.\r\nDone.\r\n"),
            std::string::npos);
  EXPECT_FALSE(shell_memory.mapped());
  EXPECT_EQ(processes.exited_with, 0u);
}

TEST_F(RelayTest, FileOutputReachesStdoutEveryPass) {
  console.is_console = false;
  DuringPause(1, [this] {
    // The first pass's lines are out before its pause.
    EXPECT_NE(console.screen.find("Successfully loaded.\r\nfirst\r\n"), std::string::npos);
    Write({"+zt-talk-done+"});
  });
  processes.on_start = [this] { Write({"first"}); };
  Run("-debug");
  EXPECT_EQ(console.writes, 2);  // one per pass with output, one at the end
  EXPECT_NE(Screen().find("Done.\r\n"), std::string::npos);
}

TEST_F(RelayTest, UnwritableOutputStillCleansUp) {
  console.write_fails = true;
  processes.on_start = [this] { Write({"a", "+zt-talk-done+"}); };
  Run("-debug");
  EXPECT_EQ(processes.child->terminations, 1);
  EXPECT_FALSE(shell_memory.mapped());
  EXPECT_EQ(processes.exited_with, 0u);
}

}  // namespace
}  // namespace gandry
