// gandry.exe with real processes: a stand-in child in the watchdog's place, and the watchdog.
#include <gtest/gtest.h>

#include <algorithm>

#include "shell_run.h"

namespace gandry {
namespace {

constexpr char kBanner[] =
    "Gandry 1.0 BETA 3\r\n\r\n"
    "Please use Gandry Manager to manage as a service.\r\n"
    "Press CTRL+C key combinations to break.\r\n";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

TEST(ShellRunTest, DebugRelaysUntilTheMarkerAndUnloadsTheChild) {
  ShellFolder folder("args\nline a\nline b\nline +zt-talk-done+\nline c\nhang\n");
  const ShellRun run = folder.Run("-Debug");
  const std::string child = "\"" + Lower(folder.dir()) + "gandry.svc\" -Debug";
  EXPECT_EQ(run.out, std::string(kBanner) + "Attempting to load [" + child + "]...\r\n" +
                         "Successfully loaded.\r\n" + child + "\r\na\r\nb\r\n" +
                         "Quillon successfully unloaded.\r\nDone.\r\n");
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_TRUE(Ended(run.child));
  EXPECT_EQ(ExitCodeOf(run.child), 0u);
}

TEST(ShellRunTest, ProcessModeLeavesTheChildRunningAfterTheMarker) {
  ShellFolder folder("line a\nline +zt-talk-done+\nhang\n");
  const ShellRun run = folder.Run("/process");
  EXPECT_EQ(run.out, std::string(kBanner) +
                         "Attempting to load ...\r\nSuccessfully loaded.\r\na\r\nDone.\r\n");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(StillRunning(run.child));
}

TEST(ShellRunTest, TheChildsExitCodeBecomesTheShells) {
  ShellFolder folder("line x\nsleep 1500\nexit 7\n");
  for (const char* mode : {"-process", "-service"}) {
    const ShellRun run = folder.Run(mode);
    EXPECT_EQ(run.exit_code, 7u) << mode;
    if (std::string(mode) == "-process") {
      EXPECT_NE(run.out.find("Successfully loaded.\r\nx\r\nQuillon was hand-up.\r\nDone.\r\n"),
                std::string::npos);
    } else {
      EXPECT_EQ(run.out, "");
    }
  }
}

TEST(ShellRunTest, ServiceModeIsSilentAndGivesUpAfterItsBudget) {
  ShellFolder folder("line a\nhang\n");
  const ShellRun run = folder.Run("-service");
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.exit_code, 2u);
  ASSERT_TRUE(Ended(run.child));
  EXPECT_EQ(ExitCodeOf(run.child), 2u);
}

TEST(ShellRunTest, ServiceModeMarkerLeavesTheChildRunning) {
  ShellFolder folder("line a\nline +zt-talk-done+\nhang\n");
  const ShellRun run = folder.Run("-SERVICE");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(StillRunning(run.child));
}

TEST(ShellRunTest, MissingChildProgramFailsWithTwo) {
  ShellFolder folder("", nullptr);
  const ShellRun run = folder.Run("-debug");
  EXPECT_EQ(run.exit_code, 2u);
  const std::string failure = "Load Quillon failure.\r\n";
  const std::size_t at = run.out.find(failure);
  ASSERT_NE(at, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Successfully loaded."), std::string::npos);
  // The system's text for the failure, ending in one full stop, then the clean-up's end.
  const std::string rest = run.out.substr(at + failure.size());
  EXPECT_GT(rest.size(), std::string(".\r\nDone.\r\n").size());
  EXPECT_EQ(rest.substr(rest.find("\r\n") - 1), ".\r\nDone.\r\n");
  EXPECT_EQ(rest.find("..\r\n"), std::string::npos);
}

TEST(ShellRunTest, RejectedCommandLineWithoutAConsoleEndsWith31AtOnce) {
  ShellFolder folder("hang\n");
  for (const char* args : {"", "debug", "-debug x", "-deb"}) {
    const ShellRun run = folder.Run(args);
    EXPECT_FALSE(run.timed_out) << args;
    EXPECT_EQ(run.exit_code, 31u) << args;
    EXPECT_EQ(run.out,
              "Gandry 1.0 BETA 3\n\r\nUnrecongnized or incomplete command line.\n\r\n"
              "  usage: Gandry.exe -debug\n    where\n      -debug\t\tstart as process with "
              "output debug info\n\r\nPlease use Gandry Manager to manage service.\r\n"
              "\n\rpress a key to continue...\r\n\r\n");
    EXPECT_EQ(run.child, nullptr);
  }
}

TEST(ShellRunTest, OutputThatCannotBeWrittenDoesNotStopTheRun) {
  {
    ShellFolder folder("line a\nline +zt-talk-done+\nhang\n");
    const ShellRun run = folder.Run("-debug", StdoutKind::kClosedPipe);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(Ended(run.child));
  }
  {
    ShellFolder folder("line a\nline +zt-talk-done+\nhang\n");
    const ShellRun run = folder.Run("-process", StdoutKind::kNone);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(StillRunning(run.child));
  }
}

// The real watchdog beside the shell: its configuration and start lines are relayed.
TEST(ShellRunTest, RelaysTheWatchdogsConfigurationAndStartLines) {
  ShellFolder folder("", "gandry.svc");
  if (GetFileAttributesA((folder.dir() + "gandry.svc").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "gandry.svc is not built";
  }
  folder.WriteFile("Gandry.ini",
                   "[Settings]\r\nLoopDelayThread=5\r\nLoopDelayService=5\r\n"
                   "StartDelayThread=5\r\n[Services]\r\nItem1=NoSuchService||0|0\r\n");
  const std::string started = "Taked 1 item(s) for manage:\n 1. [NoSuchService||0|0]";
  const ShellRun run = folder.Run("-debug", StdoutKind::kFile, started);
  EXPECT_FALSE(run.timed_out) << run.out;
  EXPECT_NE(run.out.find("Successfully loaded.\r\nConfiguration file: ["), std::string::npos)
      << run.out;
  EXPECT_NE(Lower(run.out).find("gandry.ini]\r\nsuccessfully loaded 1 items.\r\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Self service was successfully started. " + started + "\r\n"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace gandry
