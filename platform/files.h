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
  // Makes `bytes` the file's contents in one step, creating a missing file: they are written
  // to "PATH.tmp" in the same folder, which then takes the file's name, so that a reader sees
  // the old contents or the new, never a part. A stale "PATH.tmp" is overwritten. While any
  // reader holds the file open the rename fails, with kAccessDenied (or kBusy).
  virtual Status ReplaceContents(const std::string& path, std::string_view bytes) = 0;
};

}  // namespace gandry
