#pragma once

#include <cstdint>
#include <string>

namespace gandry {

// The system's messages for its error codes.
class ErrorTexts {
 public:
  virtual ~ErrorTexts() = default;
  // The message as the system has it, line end included; empty when it has none.
  virtual std::string Text(std::uint32_t error) = 0;
};

}  // namespace gandry
