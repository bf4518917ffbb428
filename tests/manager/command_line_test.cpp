#include "manager/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "manager/command_table.h"
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

TEST(ManagerCommandLine, BadCommandLinesExitWithTwoAndTheUsageOnStandardError) {
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
      {"help", "frobnicate"},
      {"help", "add", "list"},
      {"--version", "--json"},
  };
  for (const auto& args : bad) {
    ManagerRig rig;
    rig.Ini({});
    EXPECT_EQ(rig.Run(args), 2) << ::testing::PrintToString(args);
    EXPECT_EQ(rig.out, "");
    // One line that says what is wrong, then the usage.
    EXPECT_THAT(rig.err.substr(rig.err.find('\n') + 1), StartsWith("Usage: gandry-manager "))
        << rig.err;
    EXPECT_EQ(rig.ini.writes(), 0);
  }
  // The usage of the command that was given, when there is one.
  ManagerRig rig;
  EXPECT_EQ(rig.Run({"REMOVE"}), 2);
  EXPECT_EQ(rig.err,
            "The command remove takes 1 argument, not 0.\n"
            "Usage: gandry-manager remove SERVICE [--no-reload]\n"
            "  stop watching a service\n");
}

TEST(ManagerCommandLine, HelpAndVersionPrintAndSucceedInEveryForm) {
  for (const std::vector<std::string>& help :
       {std::vector<std::string>{"Help"}, {"--HELP"}, {"-h"}, {"/?"}}) {
    ManagerRig rig;
    EXPECT_EQ(rig.Run(help), 0);
    EXPECT_EQ(rig.out, ManagerUsage());
    EXPECT_EQ(rig.err, "");
  }
  EXPECT_THAT(ManagerUsage(),
              HasSubstr("\n  add SERVICE [--attempts N] [--restart-every MINUTES]"));
  EXPECT_THAT(ManagerUsage(), HasSubstr("\n  reload                make the running watchdog"));

  ManagerRig rig;
  EXPECT_EQ(rig.Run({"help", "Stop"}), 0);
  EXPECT_EQ(rig.out,
            "Usage: gandry-manager stop\n"
            "  control the service and wait for it (at most 60 seconds)\n");
  for (const char* version : {"--version", "Version"}) {
    EXPECT_EQ(rig.Run({version}), 0);
    EXPECT_EQ(rig.out, "gandry-manager " GANDRY_VERSION "\n");
    EXPECT_EQ(rig.err, "");
  }
}

TEST(ManagerCommandLine, EachCommandRunsItsOwnHandlerAndAnUnknownOneNone) {
  std::set<int (*)(Manager&, const ManagerArgs&)> handlers;
  for (const ManagerCommand& command : ManagerCommands()) {
    std::vector<std::string> line(1 + command.arguments, "x");
    line[0] = command.name;
    const ParsedArgs parsed = ParseManagerArgs(line);
    ASSERT_TRUE(parsed.args) << parsed.error;
    EXPECT_EQ(parsed.row, &command) << command.name;
    EXPECT_TRUE(handlers.insert(command.run).second) << command.name << " shares a handler";
  }
  ManagerRig rig;
  const FakeServiceManager::Service& watchdog = rig.Installed();
  EXPECT_EQ(rig.Run({"frobnicate"}), 2);
  EXPECT_TRUE(watchdog.commands.empty());
}

}  // namespace
}  // namespace gandry
