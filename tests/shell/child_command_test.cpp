#include "shell/child_command.h"

#include <gtest/gtest.h>

namespace gandry {
namespace {

TEST(ChildCommandTest, ProgramBesideTheShellWithItsExtensionReplaced) {
  EXPECT_EQ(ChildProgramPath("C:\\Tools\\Gandry.EXE"), "c:\\tools\\gandry.svc");
  EXPECT_EQ(ChildProgramPath("C:\\tools.exe.d\\gandry.exe"), "c:\\tools.exe.d\\gandry.svc");
  EXPECT_EQ(ChildProgramPath("C:\\a.b\\gandry"), "c:\\a.b\\gandry.svc");
  EXPECT_EQ(ChildProgramPath("C:\\x\\gandry.test.com"), "c:\\x\\gandry.test.svc");
  EXPECT_EQ(ChildProgramPath("gandry"), "gandry.svc");
}

TEST(ChildCommandTest, ArgumentPassedOnUnchangedAfterTheLowerCasedPath) {
  const ChildCommand command = BuildShellCommandLine("C:\\Tools\\Gandry.EXE", {"x", "-DEBUG"});
  EXPECT_EQ(command.application, "c:\\tools\\gandry.svc");
  EXPECT_EQ(command.command_line, "c:\\tools\\gandry.svc -DEBUG");
}

TEST(ChildCommandTest, PathWithBlanksIsQuotedInTheCommandLineOnly) {
  const ChildCommand command =
      BuildShellCommandLine("C:\\Program Files\\Gandry\\gandry.exe", {"gandry", "/process"});
  EXPECT_EQ(command.application, "c:\\program files\\gandry\\gandry.svc");
  EXPECT_EQ(command.command_line, "\"c:\\program files\\gandry\\gandry.svc\" /process");
}

}  // namespace
}  // namespace gandry
