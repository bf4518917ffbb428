#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace gandry {

// The system hands every text (names, paths, its messages) to the portable code in its 8-bit
// ANSI code page; what leaves for other programs as UTF-8 is converted here.
class TextEncoding {
 public:
  virtual ~TextEncoding() = default;
  // `text`, read in the ANSI code page, as UTF-8.
  virtual Result<std::string> AnsiToUtf8(std::string_view text) = 0;
};

}  // namespace gandry
