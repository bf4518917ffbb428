#pragma once

#include "platform/files.h"

namespace gandry {

// Files through GetFileAttributesA, CreateFileA and WriteFile.
class WinFiles final : public Files {
 public:
  bool Exists(const std::string& path) override;
  Status CreateNew(const std::string& path, std::string_view bytes) override;
};

}  // namespace gandry
