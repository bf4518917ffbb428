#pragma once

#include "platform/ini_store.h"

namespace gandry {

// INI files through the private-profile functions of kernel32.
class WinIniStore final : public IniStore {
 public:
  std::vector<std::string> ListKeys(const std::string& path, const std::string& section) override;
  std::string ReadValue(const std::string& path, const std::string& section,
                        const std::string& key) override;
  Status WriteValue(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) override;
  Status DeleteKey(const std::string& path, const std::string& section,
                   const std::string& key) override;
};

}  // namespace gandry
