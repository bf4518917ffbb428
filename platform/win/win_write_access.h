#pragma once

#include "platform/write_access.h"

namespace gandry {

// Reads the access control list with GetNamedSecurityInfoA and names the trustees with
// LookupAccountSidA.
class WinWriteAccess final : public WriteAccess {
 public:
  Result<std::vector<std::string>> OthersWhoMayWrite(const std::string& path) override;
};

}  // namespace gandry
