// Delay settings and the item list read from arbitrary INI text, and the item fields that the
// monitors take apart.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/parse_text.h"
#include "common/zt_mapfile.h"
#include "fakes/fake_ini_store.h"
#include "fakes/fake_shared_memory.h"
#include "fuzz_support.h"
#include "watchdog/config.h"

namespace {

using gandry::fuzz::Check;

constexpr char kIni[] = "C:\\gandry\\Gandry.ini";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsServicesSection(std::string_view name) {
  constexpr std::string_view kServices = "services";
  if (name.size() != kServices.size()) {
    return false;
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kServices[i]) {
      return false;
    }
  }
  return true;
}

// Reads INI text roughly as the platform does: [section] lines, key=value lines with blanks
// trimmed, ';' comments. Any byte may appear in names and values. Returns how many keys the
// "Services" section holds.
std::size_t LoadIni(std::string_view text, gandry::FakeIniStore& store) {
  std::string section;
  std::size_t service_names = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line[0] == ';') {
      continue;
    }
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      section = std::string(Trim(line.substr(1, close == line.npos ? line.npos : close - 1)));
      continue;
    }
    const std::size_t equals = line.find('=');
    const std::string key(Trim(line.substr(0, equals)));
    if (key.empty()) {
      continue;
    }
    const std::string value(equals == std::string_view::npos ? std::string_view{}
                                                             : Trim(line.substr(equals + 1)));
    store.AddLine(kIni, section, key, value);
    if (IsServicesSection(section)) {
      ++service_names;
    }
  }
  return service_names;
}

void CheckDelay(gandry::IniFile& file, const gandry::DelaySetting& setting) {
  const gandry::DelayReading reading = gandry::ReadDelay(file, "Settings", setting);
  Check((reading.seconds >= 5 && reading.seconds <= 120) ||
            reading.seconds == setting.default_seconds,
        "a delay is in range or default");
  // What is not written back already says the delay in use.
  const std::string stored = file.ReadValue("Settings", setting.key);
  Check(reading.write_back ||
            gandry::ParseIntComplete(std::string_view(stored).substr(0, 2047)) == reading.seconds,
        "a delay that is not written back is the one in the file");
}

// Splits at every '|', as the reference for ExtractField.
std::vector<std::string> Fields(std::string_view item) {
  std::vector<std::string> fields(1);
  for (char c : item) {
    if (c == '|') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

void CheckItem(const std::string& item) {
  Check(item.size() <= 200, "an item value is cut to 200 characters");
  const std::vector<std::string> fields = Fields(item);
  Check(gandry::ExtractField(item, 0, '|').empty(), "there is no field 0");
  for (std::size_t k = 1; k <= fields.size() + 1; ++k) {
    const std::string expected = k <= fields.size() ? fields[k - 1] : std::string();
    Check(gandry::ExtractField(item, static_cast<int>(k), '|') == expected,
          "field k lies between separators k-1 and k");
  }
  gandry::ParseIntLoose(gandry::ExtractField(item, 3, '|'));
  gandry::ParseIntLoose(gandry::ExtractField(item, 4, '|'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gandry::FakeIniStore store;
  const std::size_t service_names =
      LoadIni(std::string_view(reinterpret_cast<const char*>(data), size), store);

  const std::unique_ptr<gandry::IniFile> file = std::move(store.Read(kIni).value());
  for (const gandry::DelaySetting& setting : gandry::kDelaySettings) {
    CheckDelay(*file, setting);
  }

  gandry::FakeSharedMemory memory;
  gandry::MessageChannel channel(memory);
  channel.open();
  const std::vector<std::string> items = gandry::LoadItems(*file, &channel);
  Check(items.size() <= service_names, "items come only from the Services keys");
  for (const std::string& item : items) {
    CheckItem(item);
  }
  std::string report;
  Check(channel.take(report), "the outcome is reported");
  Check(
      report == (items.empty() ? std::string("Items not found.")
                               : "Successfully loaded " + std::to_string(items.size()) + " items."),
      "the report names the item count");
  Check(!channel.take(report), "the outcome is reported once");
  return 0;
}
