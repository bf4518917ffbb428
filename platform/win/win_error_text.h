#pragma once

#include <cstdint>
#include <string>

#include "platform/error_text.h"

namespace gandry {

// The system's message for an error code, from FormatMessageA's system table (at most 255
// characters); empty when there is none.
std::string SystemErrorText(std::uint32_t error);

class WinErrorTexts final : public ErrorTexts {
 public:
  std::string Text(std::uint32_t error) override { return SystemErrorText(error); }
};

}  // namespace gandry
