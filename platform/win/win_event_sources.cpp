#include "platform/win/win_event_sources.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win/win_error.h"

namespace gandry {

namespace {

static_assert(EVENTLOG_ERROR_TYPE == 1 && EVENTLOG_WARNING_TYPE == 2 &&
              EVENTLOG_INFORMATION_TYPE == 4);

constexpr char kApplicationLog[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// The registry functions return their error instead of setting the last error.
SystemError RegistryError(LONG code) {
  return WinError(static_cast<std::uint32_t>(code));
}

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_ != nullptr) {
      RegCloseKey(key_);
    }
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The text with its %NAME% references to environment variables replaced by their values.
Result<std::string> ExpandEnvironment(const std::string& text) {
  std::vector<char> buffer(text.size() + 256);
  for (;;) {
    const DWORD needed =
        ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed == 0) {
      return LastError();
    }
    if (needed <= buffer.size()) {
      return std::string(buffer.data());
    }
    buffer.resize(needed);
  }
}

}  // namespace

Result<std::optional<EventSourceRegistration>> WinEventSources::Query(const std::string& source) {
  RegKey key;
  const std::string path = kApplicationLog + source;
  LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.out());
  if (code == ERROR_FILE_NOT_FOUND) {
    return std::optional<EventSourceRegistration>();
  }
  if (code != ERROR_SUCCESS) {
    return RegistryError(code);
  }
  EventSourceRegistration registration;
  // Both values are optional: a source without them reads as an empty file and no types.
  DWORD size = 0;
  DWORD type = 0;
  code = RegQueryValueExA(key.get(), "EventMessageFile", nullptr, nullptr, nullptr, &size);
  if (code == ERROR_SUCCESS && size > 0) {
    std::vector<char> text(size + 1, '\0');
    code = RegQueryValueExA(key.get(), "EventMessageFile", nullptr, &type,
                            reinterpret_cast<BYTE*>(text.data()), &size);
    if (code != ERROR_SUCCESS) {
      return RegistryError(code);
    }
    registration.message_file = text.data();
    if (type == REG_EXPAND_SZ) {
      Result<std::string> expanded = ExpandEnvironment(registration.message_file);
      if (!expanded) {
        return expanded.error();
      }
      registration.message_file = std::move(*expanded);
    }
  }
  DWORD types = 0;
  size = sizeof types;
  code = RegQueryValueExA(key.get(), "TypesSupported", nullptr, &type,
                          reinterpret_cast<BYTE*>(&types), &size);
  if (code == ERROR_SUCCESS && type == REG_DWORD) {
    registration.types_supported = types;
  }
  return std::optional(registration);
}

Status WinEventSources::Register(const std::string& source,
                                 const EventSourceRegistration& registration) {
  RegKey key;
  const std::string path = kApplicationLog + source;
  LONG code = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.out(), nullptr);
  if (code != ERROR_SUCCESS) {
    return RegistryError(code);
  }
  const std::string& file = registration.message_file;
  code = RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                        reinterpret_cast<const BYTE*>(file.c_str()),
                        static_cast<DWORD>(file.size() + 1));
  if (code != ERROR_SUCCESS) {
    return RegistryError(code);
  }
  const DWORD types = registration.types_supported;
  code = RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&types), sizeof types);
  if (code != ERROR_SUCCESS) {
    return RegistryError(code);
  }
  return {};
}

Status WinEventSources::Remove(const std::string& source) {
  const std::string path = kApplicationLog + source;
  const LONG code = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
  if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
    return RegistryError(code);
  }
  return {};
}

}  // namespace gandry
