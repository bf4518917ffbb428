#pragma once

#include <string>
#include <string_view>

namespace gandry {

// The system's message for an error, shaped as the shell prints it: trailing blanks, control
// characters and full stops removed, then one full stop added ("." alone for no text).
std::string ShellErrorText(std::string_view system_text);

}  // namespace gandry
