#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace gandry {

// Plain files by full path.
class Files {
 public:
  virtual ~Files() = default;
  // Whether a file or folder of that name exists.
  virtual bool Exists(const std::string& path) = 0;
  // Creates the file with `bytes`; fails when there is one already.
  virtual Status CreateNew(const std::string& path, std::string_view bytes) = 0;
};

}  // namespace gandry
