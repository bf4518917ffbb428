#pragma once

#include <string>
#include <string_view>

namespace gandry {

// Letter case as the service manager, the INI functions and the command line ignore it: ASCII
// letters only.
std::string ToLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// `text` without blanks, tabs and line ends at either end.
std::string_view Trim(std::string_view text);

}  // namespace gandry
