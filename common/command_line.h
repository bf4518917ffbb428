#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gandry {

// How a program runs; the values are the indexes of the option words "service", "process"
// and "debug". kNoRunMode means that no option has been accepted (the shell starts with it).
enum RunMode : std::uint8_t {
  kServiceMode = 0,
  kProcessMode = 1,
  kDebugMode = 2,
  kNoRunMode = 255,
};

// The title both programs show, and the usage text for a rejected command line.
inline constexpr char kProductTitle[] = "Gandry 1.0 BETA 3";
inline constexpr char kUsageText[] =
    "  usage: Gandry.exe -debug\n"
    "    where\n"
    "      -debug\t\tstart as process with output debug info\n";
// What either program exits with after a rejected command line.
inline constexpr std::uint32_t kExitBadCommandLine = 31;

// Splits a command line into arguments; element 0 is the program name. Counting stops at the
// first empty argument.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Accepts exactly one argument after the program name: '-' or '/' followed by one of the
// option words in any letter case. The chosen mode, or nothing when the line is rejected.
std::optional<RunMode> parseCommandLine(const std::vector<std::string>& args);

}  // namespace gandry
