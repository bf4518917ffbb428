#include "shell/usage_screen.h"

#include <gtest/gtest.h>

#include "shell/run_shell.h"
#include "shell/shell_test_fixture.h"

namespace gandry {
namespace {

constexpr char kUsageScreen[] =
    "<A:15>Gandry 1.0 BETA 3\n\r\n"
    "<A:4>Unrecongnized or incomplete command line.\n\r\n"
    "<A:7>  usage: Gandry.exe -debug\n    where\n      -debug\t\tstart as process with output "
    "debug info\n\r\n"
    "Please use Gandry Manager to manage service.\r\n"
    "<A:3>\n\rpress a key to continue...\r\n"
    "<A:7>\r\n";

class UsageScreenTest : public ::testing::Test, public ShellOnFakes {};

TEST_F(UsageScreenTest, RejectedCommandLineShowsTheScreenAndWaitsForAKeyPress) {
  console.input = {ConsoleInput::kOther, ConsoleInput::kOther, ConsoleInput::kKeyDown,
                   ConsoleInput::kKeyDown};
  RunShell(shell, "C:\\gandry.exe", "gandry.exe debug");
  EXPECT_EQ(Screen(), kUsageScreen);
  EXPECT_EQ(console.title, "Gandry 1.0 BETA 3");
  EXPECT_EQ(console.reads, 3);  // releases and other events do not end the wait
  EXPECT_TRUE(console.detached);
  EXPECT_EQ(processes.exited_with, 31u);
  EXPECT_EQ(processes.starts, 0);
  EXPECT_EQ(console.handler_installs, 0);
  EXPECT_EQ(shell_memory.opens(), 0);
}

TEST(UsageScreen, NoConsoleInputEndsTheWaitAtOnce) {
  for (const char* line : {"gandry.exe", "gandry.exe -debug x", "gandry.exe -deb"}) {
    ShellOnFakes run;  // one per case: the fake keeps only the first exit code
    run.console.is_console = false;
    RunShell(run.shell, "C:\\gandry.exe", line);
    EXPECT_EQ(run.processes.exits, 1) << line;
    EXPECT_EQ(run.processes.exited_with, 31u) << line;
    EXPECT_EQ(run.console.reads, 1) << line;
    EXPECT_NE(run.Screen().find("press a key to continue...\r\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace gandry
