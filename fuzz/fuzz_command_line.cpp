// The command-line splitter and the run-mode parse on arbitrary command lines.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line.h"
#include "fuzz_support.h"

namespace {

using gandry::fuzz::Check;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> args = gandry::SplitCommandLine(line);
  Check(!args.empty(), "the program name is always element 0");
  for (std::size_t i = 0; i < args.size(); ++i) {
    Check(args[i].find('"') == std::string::npos, "quotes are dropped");
    Check(args[i].find('\0') == std::string::npos, "NUL ends the line");
    Check(i == 0 || !args[i].empty(), "counting stops at the first empty argument");
  }
  if (!args[0].empty()) {
    // Quoted and joined again, the arguments split into themselves.
    std::string joined;
    for (const std::string& arg : args) {
      joined += '"' + arg + "\" ";
    }
    Check(gandry::SplitCommandLine(joined) == args, "quoted arguments round-trip");
  }

  const std::optional<gandry::RunMode> parsed = gandry::parseCommandLine(args);
  if (!parsed) {
    return 0;
  }
  const gandry::RunMode mode = *parsed;
  static const char* const kWords[] = {"service", "process", "debug"};
  Check(args.size() == 2, "exactly one argument is accepted");
  Check(mode <= gandry::kDebugMode, "an accepted mode is an option index");
  Check(args[1][0] == '-' || args[1][0] == '/', "an accepted option has its prefix");
  Check(Lower(args[1].substr(1)) == kWords[mode], "the mode is the option word's index");
  return 0;
}
