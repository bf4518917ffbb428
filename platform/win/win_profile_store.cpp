#include "platform/win/win_profile_store.h"

#include <windows.h>

#include <algorithm>

namespace gandry {

std::size_t WinProfileStore::GetString(const std::string& path, const char* section,
                                       const char* key, std::span<char> buffer) {
  if (buffer.empty()) {
    return 0;
  }
  const DWORD size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
  return GetPrivateProfileStringA(section, key, "", buffer.data(), size, path.c_str());
}

bool WinProfileStore::WriteString(const std::string& path, const char* section, const char* key,
                                  const std::string& value) {
  return WritePrivateProfileStringA(section, key, value.c_str(), path.c_str()) != FALSE;
}

}  // namespace gandry
