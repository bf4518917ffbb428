#include "common/command_line.h"

#include <array>

#include "common/ascii_text.h"

namespace gandry {
namespace {

// The option words; the index of a word is its run mode.
constexpr std::array<std::string_view, 3> kOptionWords = {"service", "process", "debug"};
constexpr std::size_t kOptionTextMax = 200;

// Characters 1..32 separate arguments; NUL ends the line.
bool IsSeparator(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// Reads the argument that starts at or after `pos`; leaves `pos` just behind it.
std::string NextArgument(std::string_view line, std::size_t& pos) {
  auto at = [&](std::size_t i) { return i < line.size() ? line[i] : '\0'; };
  for (;;) {
    while (IsSeparator(at(pos))) {
      ++pos;
    }
    // Two quotes where an argument would begin count as a separator.
    if (at(pos) == '"' && at(pos + 1) == '"') {
      pos += 2;
    } else {
      break;
    }
  }
  std::string argument;
  while (at(pos) != '\0' && !IsSeparator(at(pos))) {
    if (at(pos) == '"') {
      ++pos;
      while (at(pos) != '\0' && at(pos) != '"') {
        argument += line[pos++];
      }
      if (at(pos) == '"') {
        ++pos;
      }
    } else {
      argument += line[pos++];
    }
  }
  return argument;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::size_t pos = 0;
  std::vector<std::string> args;
  args.push_back(NextArgument(command_line, pos));
  for (;;) {
    std::string argument = NextArgument(command_line, pos);
    if (argument.empty()) {
      break;
    }
    args.push_back(std::move(argument));
  }
  return args;
}

std::optional<RunMode> parseCommandLine(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    return std::nullopt;
  }
  const std::string& argument = args[1];
  if (argument.empty() || (argument[0] != '-' && argument[0] != '/')) {
    return std::nullopt;
  }
  const std::string word = ToLower(argument.substr(1, kOptionTextMax));
  for (std::size_t i = 0; i < kOptionWords.size(); ++i) {
    if (word == kOptionWords[i]) {
      return static_cast<RunMode>(i);
    }
  }
  return std::nullopt;
}

}  // namespace gandry
