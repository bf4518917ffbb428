#pragma once

#include "platform/ini_store.h"

namespace gandry {

// INI files through the private-profile functions of kernel32.
//
// A reader holds the file open with read sharing only, so that nobody writes or replaces it
// while the profile functions read it. An edit takes the lock "<file>.lock" beside the file
// (created exclusively and deleted on close, so the system releases it when its process dies),
// copies the file to "<file>.tmp" in the same folder, edits the copy with the profile
// functions, and puts it in place with ReplaceFile, which keeps the file's permissions and
// attributes. The copy is only ever a copy: nothing reads it but the edit that made it, and the
// next edit overwrites one that a crash left behind.
class WinIniStore final : public IniStore {
 public:
  Result<std::unique_ptr<IniFile>> Read(const std::string& path) override;
  Result<std::unique_ptr<IniEdit>> Edit(const std::string& path) override;
};

}  // namespace gandry
