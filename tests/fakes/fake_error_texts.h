#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/error_text.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// The system's texts for the error codes the tests meet, with the line end the system adds.
class FakeErrorTexts final : public ErrorTexts {
 public:
  std::map<std::uint32_t, std::string> texts{
      {0, "The operation completed successfully.\r\n"},
      {win_error::kFileNotFound, "The system cannot find the file specified.\r\n"},
      {win_error::kAccessDenied, "Access is denied.\r\n"},
      {win_error::kSharingViolation,
       "The process cannot access the file because it is being used by another process.\r\n"},
      {win_error::kServiceDoesNotExist,
       "The specified service does not exist as an installed service.\r\n"},
      {win_error::kServiceSpecificError,
       "The service has returned a service-specific error code.\r\n"},
  };
  std::string Text(std::uint32_t error) override {
    auto it = texts.find(error);
    return it == texts.end() ? std::string() : it->second;
  }
};

}  // namespace gandry
