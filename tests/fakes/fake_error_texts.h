#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/error_text.h"

namespace gandry {

// The system's texts for the error codes the tests meet, with the line end the system adds.
class FakeErrorTexts final : public ErrorTexts {
 public:
  std::map<std::uint32_t, std::string> texts{
      {0, "The operation completed successfully.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {1060, "The specified service does not exist as an installed service.\r\n"},
      {1066, "The service has returned a service-specific error code.\r\n"},
  };
  std::string Text(std::uint32_t error) override {
    auto it = texts.find(error);
    return it == texts.end() ? std::string() : it->second;
  }
};

}  // namespace gandry
