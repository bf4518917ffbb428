#include "common/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace gandry {
namespace {

using ::testing::ElementsAre;

TEST(SplitCommandLine, SeparatesAtBlanksAndEveryControlCharacter) {
  EXPECT_THAT(SplitCommandLine("prog -debug"), ElementsAre("prog", "-debug"));
  EXPECT_THAT(SplitCommandLine("  prog\t-a\x01-b\x1f-c\r\n"),
              ElementsAre("prog", "-a", "-b", "-c"));
  // DEL and bytes above 127 are ordinary characters.
  EXPECT_THAT(SplitCommandLine("prog a\x7f"
                               "b \xe9t\xe9"),
              ElementsAre("prog",
                          "a\x7f"
                          "b",
                          "\xe9t\xe9"));
}

TEST(SplitCommandLine, QuotesKeepBlanksAndJoinWithUnquotedPieces) {
  EXPECT_THAT(SplitCommandLine("\"C:\\Program Files\\gandry.svc\" -debug"),
              ElementsAre("C:\\Program Files\\gandry.svc", "-debug"));
  EXPECT_THAT(SplitCommandLine("prog a\"b c\"d \"e\"\"f\""), ElementsAre("prog", "ab cd", "ef"));
  // No escape character: a backslash before a quote is kept and the quote still closes.
  EXPECT_THAT(SplitCommandLine("prog \"a\\\" b"), ElementsAre("prog", "a\\", "b"));
  // A quote left open runs to the end of the line.
  EXPECT_THAT(SplitCommandLine("prog \"-debug x"), ElementsAre("prog", "-debug x"));
}

TEST(SplitCommandLine, PairsOfQuotesWhereAnArgumentBeginsAreSkipped) {
  EXPECT_THAT(SplitCommandLine("prog \"\" -debug"), ElementsAre("prog", "-debug"));
  EXPECT_THAT(SplitCommandLine("prog \"\"\"\"-debug"), ElementsAre("prog", "-debug"));
  // Inside an argument an empty quoted run adds nothing.
  EXPECT_THAT(SplitCommandLine("prog -de\"\"bug"), ElementsAre("prog", "-debug"));
}

TEST(SplitCommandLine, CountingStopsAtTheFirstEmptyArgument) {
  EXPECT_THAT(SplitCommandLine(""), ElementsAre(""));
  EXPECT_THAT(SplitCommandLine("prog   "), ElementsAre("prog"));
  EXPECT_THAT(SplitCommandLine("prog -a \""), ElementsAre("prog", "-a"));
  EXPECT_THAT(SplitCommandLine("prog \"\"\" -a"), ElementsAre("prog", " -a"));
  // A NUL ends the line.
  EXPECT_THAT(SplitCommandLine(std::string_view("prog -a\0-b", 10)), ElementsAre("prog", "-a"));
}

struct ParseCase {
  std::vector<std::string> args;
  RunMode mode;
};

TEST(ParseCommandLine, AcceptsOneOptionWordWithEitherPrefixInAnyCase) {
  const ParseCase cases[] = {
      {{"prog", "-SERVICE"}, kServiceMode}, {{"prog", "/process"}, kProcessMode},
      {{"prog", "-debug"}, kDebugMode},     {{"prog", "-Debug"}, kDebugMode},
      {{"prog", "/DEBUG"}, kDebugMode},     {{"prog", "/sErViCe"}, kServiceMode},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(parseCommandLine(c.args), c.mode) << c.args[1];
  }
}

TEST(ParseCommandLine, RejectsAnythingElse) {
  const std::vector<std::vector<std::string>> rejected = {
      {"prog"},
      {},
      {"prog", "-debug", "x"},
      {"prog", "debug"},
      {"prog", "-deb"},
      {"prog", "-"},
      {"prog", "--debug"},
      {"prog", "-debug "},
      {"prog", "\\debug"},
      {"prog", "-debug" + std::string(300, 'x')},
      {"prog", "-" + std::string(200, 'a') + "debug"},
  };
  for (const auto& args : rejected) {
    EXPECT_EQ(parseCommandLine(args), std::nullopt) << ::testing::PrintToString(args);
  }
}

TEST(ParseCommandLine, WorksOnTheSplitCommandLine) {
  EXPECT_EQ(parseCommandLine(SplitCommandLine("\"C:\\a b\\gandry.svc\" \"/Process\"")),
            kProcessMode);
  EXPECT_EQ(parseCommandLine(SplitCommandLine("gandry.svc \"-debug x\"")), std::nullopt);
  EXPECT_EQ(parseCommandLine(SplitCommandLine("gandry.svc -debug \"\"")), kDebugMode);
}

}  // namespace
}  // namespace gandry
