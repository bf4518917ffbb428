#pragma once

#include <string>

namespace gandry {

// printf-style formatting into a string of any length.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
FormatText(const char* format, ...);

}  // namespace gandry
