#pragma once

#include <string>
#include <vector>

#include "platform/result.h"

namespace gandry {

// Who may change a file or folder, as its access control list says.
class WriteAccess {
 public:
  virtual ~WriteAccess() = default;
  // The accounts and groups, other than the administrators (the one running this process
  // included) and the system itself, that may
  // write, append to, delete or re-permission `path`, or take it over; "Everyone" when the
  // object has no access control list at all. Fails when the list cannot be read, for
  // instance on a file system that keeps none (ErrorKind::kNotSupported).
  virtual Result<std::vector<std::string>> OthersWhoMayWrite(const std::string& path) = 0;
};

}  // namespace gandry
