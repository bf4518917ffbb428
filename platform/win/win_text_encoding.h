#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/text_encoding.h"

namespace gandry {

// `text`, read in the ANSI code page, as UTF-16: for the calls that have no ANSI form that
// works everywhere.
Result<std::wstring> AnsiToWide(std::string_view text);

class WinTextEncoding final : public TextEncoding {
 public:
  Result<std::string> AnsiToUtf8(std::string_view text) override;
};

}  // namespace gandry
