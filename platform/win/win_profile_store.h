#pragma once

#include "platform/profile_store.h"

namespace gandry {

// INI files through GetPrivateProfileStringA and WritePrivateProfileStringA.
class WinProfileStore final : public ProfileStore {
 public:
  std::size_t GetString(const std::string& path, const char* section, const char* key,
                        std::span<char> buffer) override;
  bool WriteString(const std::string& path, const char* section, const char* key,
                   const std::string& value) override;
};

}  // namespace gandry
