#include "watchdog/config.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "watchdog/zt_utils.h"

namespace gandry {

namespace {

constexpr std::size_t kValueBufferSize = 2048;
constexpr std::size_t kKeyListInitialSize = 16384;
// Far beyond any real section; only guards against a store that never stops reporting a
// truncated listing.
constexpr std::size_t kKeyListMaxSize = std::size_t{1} << 26;
constexpr std::size_t kItemValueMax = 200;
// Stands for a key that is missing or does not hold a complete integer.
constexpr int kDelayMissing = 21474836;
constexpr int kDelayMin = 5;
constexpr int kDelayMax = 120;

std::string ReadValue(ProfileStore& profiles, const std::string& ini_path, const char* section,
                      const char* key) {
  char buffer[kValueBufferSize];
  const std::size_t length = profiles.GetString(ini_path, section, key, buffer);
  return std::string(buffer, std::min(length, kValueBufferSize - 1));
}

// The section's key names in file order. The platform reports a listing cut at the buffer's
// end by returning its size minus two; the buffer grows until the whole listing fits, so no
// configured item is lost.
std::vector<std::string> ListKeys(ProfileStore& profiles, const std::string& ini_path,
                                  const char* section) {
  std::vector<char> buffer(kKeyListInitialSize);
  std::size_t length = profiles.GetString(ini_path, section, nullptr, buffer);
  while (length + 2 >= buffer.size() && buffer.size() < kKeyListMaxSize) {
    buffer.assign(buffer.size() * 2, '\0');
    length = profiles.GetString(ini_path, section, nullptr, buffer);
  }
  length = std::min(length, buffer.size());

  std::vector<std::string> keys;
  std::size_t begin = 0;
  while (begin < length) {
    const auto nul = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(begin),
                               buffer.begin() + static_cast<std::ptrdiff_t>(length), '\0');
    const auto end = static_cast<std::size_t>(nul - buffer.begin());
    if (end > begin) {
      keys.emplace_back(buffer.data() + begin, end - begin);
    }
    begin = end + 1;
  }
  return keys;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  });
}

}  // namespace

std::string DirectoryOf(std::string_view path) {
  const std::size_t last = path.find_last_of("\\:");
  if (last == std::string_view::npos) {
    return {};
  }
  return std::string(path.substr(0, last + 1));
}

int ReadDelaySetting(ProfileStore& profiles, const std::string& ini_path, const char* section,
                     const char* key, int fallback) {
  const std::string text = ReadValue(profiles, ini_path, section, key);
  const std::optional<std::int32_t> parsed = ParseIntComplete(text);
  const int value = parsed ? *parsed : kDelayMissing;
  if (value == kDelayMissing || value < kDelayMin || value > kDelayMax) {
    // A failed write only means the bad value stays in the file; the default is used anyway.
    profiles.WriteString(ini_path, section, key, std::to_string(fallback));
    return fallback;
  }
  return value;
}

std::vector<std::string> LoadItems(ProfileStore& profiles, const std::string& ini_path,
                                   MessageChannel* channel, const char* section,
                                   const char* prefix) {
  std::vector<std::string> items;
  for (const std::string& key : ListKeys(profiles, ini_path, section)) {
    const std::string line = key + "=" + ReadValue(profiles, ini_path, section, key.c_str());
    if (StartsWithNoCase(line, prefix)) {
      items.push_back(line.substr(line.find('=') + 1, kItemValueMax));
    }
  }
  if (channel != nullptr) {
    if (items.empty()) {
      channel->append("Items not found.");
    } else {
      char message[64];
      std::snprintf(message, sizeof message, "Successfully loaded %d items.",
                    static_cast<int>(items.size()));
      channel->append(message);
    }
  }
  return items;
}

void LoadConfiguration(Watchdog& watchdog) {
  const std::string ini_path = DirectoryOf(watchdog.executable_path) + kIniFileName;
  const bool talk = watchdog.mode != kServiceMode;
  if (talk) {
    watchdog.channel.append("Configuration file: [" + ini_path + "]");
  }
  ProfileStore& profiles = watchdog.profiles;
  watchdog.settings.loop_delay_thread_ms =
      ReadDelaySetting(profiles, ini_path, "Settings", "LoopDelayThread", 30) * 1000;
  watchdog.settings.loop_delay_service_ms =
      ReadDelaySetting(profiles, ini_path, "Settings", "LoopDelayService", 20) * 1000;
  watchdog.settings.start_delay_thread_ms =
      ReadDelaySetting(profiles, ini_path, "Settings", "StartDelayThread", 180) * 1000;
  watchdog.items = LoadItems(profiles, ini_path, talk ? &watchdog.channel : nullptr);
}

}  // namespace gandry
