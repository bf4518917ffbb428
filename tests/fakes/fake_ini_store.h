#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini_store.h"

namespace gandry {

// In-memory INI files with the platform's rules that the watchdog relies on: names compare
// case-insensitively, a key listing keeps file order and repeats duplicate keys, and a read of
// a duplicated key yields its first value. A file does not exist until something is written
// to it.
class FakeIniStore final : public IniStore {
 public:
  using Line = std::pair<std::string, std::string>;

  // Appends a key=value line to the section (creating file and section), even when the key
  // exists already.
  void AddLine(const std::string& path, const std::string& section, const std::string& key,
               const std::string& value) {
    FindOrAddSection(path, section).push_back({key, value});
  }
  // The value of the first line with this key, as the file holds it.
  std::optional<std::string> Value(const std::string& path, const std::string& section,
                                   const std::string& key) const {
    const std::vector<Line>* lines = FindSection(path, section);
    if (lines == nullptr) {
      return std::nullopt;
    }
    for (const Line& line : *lines) {
      if (SameName(line.first, key)) {
        return line.second;
      }
    }
    return std::nullopt;
  }
  bool Exists(const std::string& path) const { return files_.contains(path); }
  void SetWritesFail(bool fail) { writes_fail_ = fail; }
  int writes() const { return writes_; }

  std::vector<std::string> ListKeys(const std::string& path, const std::string& section) override {
    std::vector<std::string> keys;
    if (const std::vector<Line>* lines = FindSection(path, section)) {
      for (const Line& line : *lines) {
        keys.push_back(line.first);
      }
    }
    return keys;
  }

  std::string ReadValue(const std::string& path, const std::string& section,
                        const std::string& key) override {
    return Value(path, section, key).value_or("");
  }

  Status WriteValue(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) override {
    if (writes_fail_) {
      return SystemError{5};  // ERROR_ACCESS_DENIED
    }
    ++writes_;
    std::vector<Line>& lines = FindOrAddSection(path, section);
    for (Line& line : lines) {
      if (SameName(line.first, key)) {
        line.second = value;
        return {};
      }
    }
    lines.push_back({key, value});
    return {};
  }

  Status DeleteKey(const std::string& path, const std::string& section,
                   const std::string& key) override {
    if (writes_fail_) {
      return SystemError{5};
    }
    ++writes_;
    if (std::vector<Line>* lines = FindSection(path, section)) {
      std::erase_if(*lines, [&](const Line& line) { return SameName(line.first, key); });
    }
    return {};
  }

 private:
  using Section = std::pair<std::string, std::vector<Line>>;

  static bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return Lower(x) == Lower(y); });
  }
  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

  const std::vector<Line>* FindSection(const std::string& path, std::string_view section) const {
    auto file = files_.find(path);
    if (file == files_.end()) {
      return nullptr;
    }
    for (const Section& s : file->second) {
      if (SameName(s.first, section)) {
        return &s.second;
      }
    }
    return nullptr;
  }
  std::vector<Line>* FindSection(const std::string& path, std::string_view section) {
    return const_cast<std::vector<Line>*>(std::as_const(*this).FindSection(path, section));
  }
  std::vector<Line>& FindOrAddSection(const std::string& path, std::string_view section) {
    std::vector<Section>& sections = files_[path];
    for (Section& s : sections) {
      if (SameName(s.first, section)) {
        return s.second;
      }
    }
    sections.push_back({std::string(section), {}});
    return sections.back().second;
  }

  std::map<std::string, std::vector<Section>> files_;
  bool writes_fail_ = false;
  int writes_ = 0;
};

}  // namespace gandry
