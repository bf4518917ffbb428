#pragma once

#include <string>
#include <string_view>

namespace gandry {

// Letter case as the service manager and the INI functions ignore it: ASCII letters only.
std::string ToLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// `text` without blanks, tabs and line ends at either end.
std::string_view Trim(std::string_view text);

}  // namespace gandry
