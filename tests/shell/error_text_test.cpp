#include "shell/error_text.h"

#include <gtest/gtest.h>

namespace gandry {
namespace {

TEST(ErrorTextTest, TrailingBlanksControlsAndFullStopsBecomeOneFullStop) {
  EXPECT_EQ(ShellErrorText("The system cannot find the file specified.\r\n"),
            "The system cannot find the file specified.");
  EXPECT_EQ(ShellErrorText("Access is denied. . \t\r\n"), "Access is denied.");
  EXPECT_EQ(ShellErrorText("Wait...  "), "Wait.");
  EXPECT_EQ(ShellErrorText("v1.2 is bad"), "v1.2 is bad.");
  EXPECT_EQ(ShellErrorText("  Lead blanks stay"), "  Lead blanks stay.");
}

TEST(ErrorTextTest, NoTextGivesAFullStopAlone) {
  EXPECT_EQ(ShellErrorText(""), ".");
  EXPECT_EQ(ShellErrorText(" .\r\n"), ".");
}

}  // namespace
}  // namespace gandry
