#pragma once

#include "platform/files.h"

namespace gandry {

// Files through GetFileAttributesA, CreateFileA, WriteFile and MoveFileExA.
class WinFiles final : public Files {
 public:
  bool Exists(const std::string& path) override;
  Status CreateNew(const std::string& path, std::string_view bytes) override;
  Status ReplaceContents(const std::string& path, std::string_view bytes) override;
};

}  // namespace gandry
