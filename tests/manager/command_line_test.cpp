#include "manager/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manager_rig.h"

namespace gandry {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(ManagerCommandLine, TakesBothOptionFormsInAnyLetterCase) {
  const ParsedArgs parsed =
      ParseManagerArgs({"ADD", "Spooler", "--Attempts=5", "--restart-every", "60", "--FORCE"});
  ASSERT_TRUE(parsed.args) << parsed.error;
  EXPECT_EQ(parsed.args->command, "add");
  EXPECT_EQ(parsed.args->arguments, std::vector<std::string>{"Spooler"});
  EXPECT_EQ(parsed.args->options, (std::map<std::string, std::string>{
                                      {"attempts", "5"}, {"restart-every", "60"}, {"force", ""}}));
  // A value may itself look like an option, and may be empty.
  const ParsedArgs odd = ParseManagerArgs({"install", "--start", "--no-start"});
  ASSERT_TRUE(odd.args);
  EXPECT_EQ(odd.args->options.at("start"), "--no-start");
}

TEST(ManagerCommandLine, BadCommandLinesExitWithTwoAndTheUsage) {
  const std::vector<std::vector<std::string>> bad{
      {},
      {"frobnicate"},
      {"status", "--jsn"},
      {"install", "--force"},  // an option of another command
      {"add"},
      {"add", "a", "b"},
      {"set", "LoopDelayThread"},
      {"add", "Spooler", "--attempts"},
      {"status", "--json=yes"},
      {"status", "--json", "--json"},
      {"list", "extra"},
  };
  for (const auto& args : bad) {
    ManagerRig rig;
    rig.Ini({});
    EXPECT_EQ(rig.Run(args), 2) << ::testing::PrintToString(args);
    EXPECT_THAT(rig.out, StartsWith("Usage: gandry-manager COMMAND"));
    EXPECT_EQ(std::count(rig.err.begin(), rig.err.end(), '\n'), 1) << rig.err;
    EXPECT_EQ(rig.ini.writes(), 0);
  }
}

TEST(ManagerCommandLine, HelpPrintsTheUsageAndSucceeds) {
  ManagerRig rig;
  EXPECT_EQ(rig.Run({"Help"}), 0);
  EXPECT_THAT(rig.out, HasSubstr("add SERVICE [--attempts N] [--restart-every MINUTES]"));
  EXPECT_EQ(rig.err, "");
}

}  // namespace
}  // namespace gandry
