#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace gandry {

// INI files through the platform's private-profile functions.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  // As GetPrivateProfileStringA with an empty default: copies the value of `key` (or, when
  // `key` is null, the section's key names, each NUL-terminated, the list ending in a second
  // NUL) into `buffer` and returns the number of characters copied, not counting the final NUL.
  virtual std::size_t GetString(const std::string& path, const char* section, const char* key,
                                std::span<char> buffer) = 0;
  // As WritePrivateProfileStringA; returns whether the write succeeded.
  virtual bool WriteString(const std::string& path, const char* section, const char* key,
                           const std::string& value) = 0;
};

}  // namespace gandry
