#include "shell/break_handler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "shell/run_shell.h"
#include "shell/shell_test_fixture.h"

namespace gandry {
namespace {

class BreakHandlerTest : public ::testing::Test, public ShellOnFakes {
 protected:
  void Break() { console.RaiseBreak(ConsoleEvent::kCtrlC); }
};

TEST_F(BreakHandlerTest, BreakDuringTheRelayUnloadsOnceAndEndsWithSix) {
  processes.on_start = [this] { Write({"a"}); };
  DuringPause(2, [this] { Break(); });
  RunShell(shell, "C:\\gandry.exe", "gandry.exe -debug");
  EXPECT_NE(Screen().find("a\r\n<A:6>\nBreak signaled!\r\n<A:7>"
                          "Quillon successfully unloaded.\r\nDone.\r\n"),
            std::string::npos);
  EXPECT_EQ(Count(Screen(), "Done."), 1);
  EXPECT_EQ(processes.child->terminations, 1);
  EXPECT_EQ(processes.child->exit_code, 0u);  // the exit code of the moment
  EXPECT_EQ(processes.exits, 1);
  EXPECT_EQ(processes.exited_with, 6u);
  EXPECT_FALSE(shell_memory.mapped());
  EXPECT_EQ(clock.sleeps(), 2);
}

TEST_F(BreakHandlerTest, ServiceModeBreakIsSilentButTerminatesTheChild) {
  DuringPause(4, [this] { Break(); });
  RunShell(shell, "C:\\gandry.exe", "gandry.exe -service");
  EXPECT_EQ(Screen(), "<A:6><A:7>");
  EXPECT_EQ(processes.child->terminations, 1);
  EXPECT_EQ(processes.exited_with, 6u);
}

TEST_F(BreakHandlerTest, ABreakAsTheServiceModeRelayEndsKeepsTheExitCodeOfItsMoment) {
  // The break's thread is held between its stop request and its own removal of the handler
  // until the main thread, woken by that request, has ended the relay and begins to clean up.
  const std::thread::id main_thread = std::this_thread::get_id();
  WaitableFlag main_cleans_up;
  console.on_remove = [&] {
    if (std::this_thread::get_id() == main_thread) {
      main_cleans_up.Raise();
    } else {
      main_cleans_up.WaitFor(std::chrono::seconds(30));
    }
  };
  DuringPause(3, [this] { OnAnotherThread([this] { Break(); }); });
  RunShell(shell, "C:\\gandry.exe", "gandry.exe -service");
  threads.Join();
  EXPECT_EQ(processes.child->terminations, 1);
  EXPECT_EQ(processes.child->exit_code, 0u);
  EXPECT_EQ(processes.exited_with, 6u);
}

TEST_F(BreakHandlerTest, BreakAfterTheChildEndedFindsNothingToTerminate) {
  shell.mode = kProcessMode;
  shell.exit_code = 4;  // as after "Quillon was hand-up." with the child's code
  BreakHandler(shell, ConsoleEvent::kCtrlC);
  EXPECT_EQ(Screen(), "<A:6>\nBreak signaled!\r\n<A:7>Done.\r\n");
  EXPECT_EQ(processes.exited_with, 6u);
}

TEST_F(BreakHandlerTest, BreakAfterTheMainCleanupDoesNotRepeatIt) {
  shell.mode = kDebugMode;
  shell.child = *processes.Start("x", "x");
  ShellCleanup(shell);
  BreakHandler(shell, ConsoleEvent::kCtrlC);
  EXPECT_EQ(Count(Screen(), "Done."), 1);
  EXPECT_EQ(Count(Screen(), "unloaded"), 1);
  EXPECT_EQ(processes.exited_with, 6u);
}

// A break on the platform's thread at any moment of the run: during the relay, or while the
// main thread ends the relay and cleans up. It must neither deadlock nor clean up twice.
TEST_F(BreakHandlerTest, BreakFromAnotherThreadAtAnyMoment) {
  for (int round = 0; round < 40; ++round) {
    ShellOnFakes run;
    run.processes.on_start = [&run] { run.Write({"x", "y"}); };
    run.DuringPause(2, [&] {
      if (round % 2 == 1) {
        run.Write({"+zt-talk-done+"});
      }
      run.OnAnotherThread([&run] { run.console.RaiseBreak(ConsoleEvent::kClose); });
    });
    RunShell(run.shell, "C:\\gandry.exe", "gandry.exe -debug");
    run.threads.Join();
    EXPECT_EQ(Count(run.Screen(), "Done."), 1);
    EXPECT_EQ(run.processes.child->terminations, 1);
    EXPECT_EQ(run.processes.exits, 1);
    if (run.console.handled_breaks == 1) {
      EXPECT_EQ(run.processes.exited_with, 6u);
    } else {
      // The main thread had removed the handler first; the platform ends the process.
      EXPECT_EQ(run.console.default_breaks, 1);
      EXPECT_EQ(run.processes.exited_with, 0u);
    }
  }
}

}  // namespace
}  // namespace gandry
