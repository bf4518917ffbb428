#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_store.h"

namespace gandry {

// In-memory INI files with the private-profile functions' rules that the watchdog relies on:
// section and key names compare case-insensitively, a key listing keeps file order and repeats
// duplicate keys, a read of a duplicated key yields its first value, and a listing or value cut
// at the buffer's end returns the buffer size minus two or minus one. A file does not exist
// until something is written to it.
class FakeProfileStore final : public ProfileStore {
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
  int key_listings() const { return key_listings_; }

  std::size_t GetString(const std::string& path, const char* section, const char* key,
                        std::span<char> buffer) override {
    if (buffer.empty() || section == nullptr) {
      return 0;
    }
    buffer[0] = '\0';
    const std::vector<Line>* lines = FindSection(path, section);
    if (key != nullptr) {
      const std::string value = lines ? Value(path, section, key).value_or("") : "";
      const std::size_t length = std::min(value.size(), buffer.size() - 1);
      std::memcpy(buffer.data(), value.data(), length);
      buffer[length] = '\0';
      return length;
    }
    ++key_listings_;
    std::string listing;
    if (lines != nullptr) {
      for (const Line& line : *lines) {
        listing += line.first;
        listing += '\0';
      }
    }
    if (listing.size() + 1 <= buffer.size()) {
      std::memcpy(buffer.data(), listing.data(), listing.size());
      buffer[listing.size()] = '\0';
      return listing.size();
    }
    if (buffer.size() < 2) {
      return 0;
    }
    // Cut: the last name is truncated and followed by two NULs.
    std::memcpy(buffer.data(), listing.data(), buffer.size() - 2);
    buffer[buffer.size() - 2] = '\0';
    buffer[buffer.size() - 1] = '\0';
    return buffer.size() - 2;
  }

  bool WriteString(const std::string& path, const char* section, const char* key,
                   const std::string& value) override {
    if (writes_fail_) {
      return false;
    }
    ++writes_;
    std::vector<Line>& lines = FindOrAddSection(path, section);
    for (Line& line : lines) {
      if (SameName(line.first, key)) {
        line.second = value;
        return true;
      }
    }
    lines.push_back({key, value});
    return true;
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
  int key_listings_ = 0;
};

}  // namespace gandry
