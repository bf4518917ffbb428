#include "platform/win/win_ini_store.h"

#include <windows.h>

#include <algorithm>

#include "platform/win/win_error.h"

namespace gandry {

namespace {

constexpr DWORD kValueBufferSize = 2048;
constexpr std::size_t kKeyListInitialSize = 16384;
// Far beyond any real section; only guards against a listing that never stops growing.
constexpr std::size_t kKeyListMaxSize = std::size_t{1} << 26;

}  // namespace

std::vector<std::string> WinIniStore::ListKeys(const std::string& path,
                                               const std::string& section) {
  // The listing is the names, each ending in a NUL, and one more NUL. A listing cut at the
  // buffer's end is answered with the buffer's size minus two, so the buffer grows until
  // the answer is shorter.
  std::vector<char> buffer(kKeyListInitialSize);
  DWORD length = 0;
  for (;;) {
    const auto size = static_cast<DWORD>(buffer.size());
    length =
        GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), size, path.c_str());
    if (length + 2 < size || buffer.size() >= kKeyListMaxSize) {
      break;
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
  const std::size_t end = std::min<std::size_t>(length, buffer.size());

  std::vector<std::string> keys;
  std::size_t begin = 0;
  while (begin < end) {
    const auto nul = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(begin),
                               buffer.begin() + static_cast<std::ptrdiff_t>(end), '\0');
    const auto stop = static_cast<std::size_t>(nul - buffer.begin());
    if (stop > begin) {
      keys.emplace_back(buffer.data() + begin, stop - begin);
    }
    begin = stop + 1;
  }
  return keys;
}

std::string WinIniStore::ReadValue(const std::string& path, const std::string& section,
                                   const std::string& key) {
  char buffer[kValueBufferSize];
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer,
                                                kValueBufferSize, path.c_str());
  return std::string(buffer, std::min<DWORD>(length, kValueBufferSize - 1));
}

Status WinIniStore::WriteValue(const std::string& path, const std::string& section,
                               const std::string& key, const std::string& value) {
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str())) {
    return LastError();
  }
  return {};
}

Status WinIniStore::DeleteKey(const std::string& path, const std::string& section,
                              const std::string& key) {
  // A null value removes the key.
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path.c_str())) {
    return LastError();
  }
  return {};
}

}  // namespace gandry
