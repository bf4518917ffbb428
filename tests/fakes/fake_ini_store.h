#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ini_store.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// In-memory INI files with the profile functions' rules that callers rely on: names compare
// case-insensitively, a key listing keeps file order and repeats a key that is on more than
// one line, a read of such a key yields its first line's value, and a write or a delete acts
// on its first line only. A value reads without the blanks around it and without quotes that
// enclose it, at most 2047 characters. A file does not exist until something is written to it.
// An edit works on a copy that Commit puts in place whole. As on the platform, a second edit
// of a file is busy while one is under way, and a commit is busy while a reader holds the
// file. Not thread-safe: the tests use it from one thread at a time.
class FakeIniStore final : public IniStore {
 public:
  using Line = std::pair<std::string, std::string>;
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };
  using Sections = std::vector<Section>;

  // Appends a key=value line to the section (creating file and section), even when the key
  // exists already. Blanks around the names are dropped, as a reader would; the value stays as
  // given.
  void AddLine(const std::string& path, const std::string& section, const std::string& key,
               const std::string& value) {
    FindOrAdd(files_[path], Trimmed(section)).push_back({std::string(Trimmed(key)), value});
  }
  // The value of the first line with this key, as the file holds it.
  std::optional<std::string> Value(const std::string& path, const std::string& section,
                                   const std::string& key) const {
    auto file = files_.find(path);
    if (file == files_.end()) {
      return std::nullopt;
    }
    return FirstValue(file->second, section, key);
  }
  // Every line of the section, duplicates included.
  std::vector<Line> Lines(const std::string& path, const std::string& section) const {
    auto file = files_.find(path);
    const std::vector<Line>* lines = file == files_.end() ? nullptr : Find(file->second, section);
    return lines == nullptr ? std::vector<Line>{} : *lines;
  }
  bool Exists(const std::string& path) const { return files_.contains(path); }

  // One edit that sets or removes a key and commits, as another program would make it.
  Status WriteValue(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    return EditAndCommit(path, [&](IniEdit& edit) { return edit.WriteValue(section, key, value); });
  }
  Status DeleteKey(const std::string& path, const std::string& section, const std::string& key) {
    return EditAndCommit(path, [&](IniEdit& edit) { return edit.DeleteKey(section, key); });
  }

  // Edits then fail with access denied.
  void SetWritesFail(bool fail) { writes_fail_ = fail; }
  // Commits so far.
  int writes() const { return writes_; }

  // A file that exists but cannot be read: Read and Edit fail with this code.
  std::map<std::string, std::uint32_t> unreadable;
  // The next `busy` calls of Edit fail as busy, as while another edit holds the lock.
  int busy = 0;
  // Runs when an edit has taken the lock, before it copies the file: what another program
  // wrote just before.
  std::function<void()> on_edit;

  Result<std::unique_ptr<IniFile>> Read(const std::string& path) override {
    return Open<IniFile>(path, false);
  }

  Result<std::unique_ptr<IniEdit>> Edit(const std::string& path) override {
    if (busy > 0 || editing_.contains(path)) {
      busy -= busy > 0 ? 1 : 0;
      return ErrorOf(ErrorKind::kBusy);
    }
    if (on_edit) {
      on_edit();
    }
    if (writes_fail_) {
      return ErrorOf(ErrorKind::kAccessDenied);
    }
    return Open<IniEdit>(path, true);
  }

 private:
  // A snapshot of one file: what a reader sees, or the copy an edit changes.
  class Copy final : public IniEdit {
   public:
    Copy(FakeIniStore& store, std::string path, bool editing, bool exists, Sections sections)
        : store_(store),
          path_(std::move(path)),
          editing_(editing),
          exists_(exists),
          sections_(std::move(sections)) {
      if (editing_) {
        store_.editing_.insert(path_);
      } else {
        ++store_.readers_[path_];
      }
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;
    ~Copy() override {
      if (editing_) {
        store_.editing_.erase(path_);
      } else if (--store_.readers_[path_] == 0) {
        store_.readers_.erase(path_);
      }
    }

    bool Exists() const override { return exists_; }
    std::vector<std::string> ListSections() override {
      std::vector<std::string> names;
      for (const Section& section : sections_) {
        names.push_back(section.name);
      }
      return names;
    }
    std::vector<std::string> ListKeys(const std::string& section) override {
      std::vector<std::string> keys;
      if (const std::vector<Line>* lines = Find(sections_, section)) {
        for (const Line& line : *lines) {
          keys.push_back(line.first);
        }
      }
      return keys;
    }
    std::string ReadValue(const std::string& section, const std::string& key) override {
      return AsRead(FirstValue(sections_, section, key).value_or(""));
    }
    Status WriteValue(const std::string& section, const std::string& key,
                      const std::string& value) override {
      std::vector<Line>& lines = FindOrAdd(sections_, section);
      auto line = FirstLine(lines, key);
      if (line == lines.end()) {
        lines.push_back({key, value});
      } else {
        line->second = value;
      }
      return {};
    }
    Status DeleteKey(const std::string& section, const std::string& key) override {
      if (std::vector<Line>* lines = Find(sections_, section)) {
        if (auto line = FirstLine(*lines, key); line != lines->end()) {
          lines->erase(line);
        }
      }
      return {};
    }
    Status DeleteSection(const std::string& section) override {
      std::erase_if(sections_, [&](const Section& s) { return SameName(s.name, section); });
      return {};
    }
    Status Commit() override {
      if (store_.readers_.contains(path_)) {
        return ErrorOf(ErrorKind::kBusy);
      }
      store_.files_[path_] = sections_;
      ++store_.writes_;
      return {};
    }

   private:
    FakeIniStore& store_;
    std::string path_;
    bool editing_;
    bool exists_;
    Sections sections_;
  };

  static bool Blank(char c) { return c == ' ' || c == '\t'; }
  static std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && Blank(text.front())) {
      text.remove_prefix(1);
    }
    while (!text.empty() && Blank(text.back())) {
      text.remove_suffix(1);
    }
    return text;
  }
  // A value as the profile functions give it from its line.
  static std::string AsRead(std::string_view value) {
    value = Trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, 2047));
  }

  // Names compare as the profile functions see them, also those a caller passes.
  static bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(Trimmed(a), Trimmed(b),
                              [](char x, char y) { return Lower(x) == Lower(y); });
  }
  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

  static const std::vector<Line>* Find(const Sections& sections, std::string_view name) {
    for (const Section& s : sections) {
      if (SameName(s.name, name)) {
        return &s.lines;
      }
    }
    return nullptr;
  }
  static std::vector<Line>* Find(Sections& sections, std::string_view name) {
    return const_cast<std::vector<Line>*>(Find(std::as_const(sections), name));
  }
  static std::vector<Line>& FindOrAdd(Sections& sections, std::string_view name) {
    if (std::vector<Line>* lines = Find(sections, name)) {
      return *lines;
    }
    sections.push_back({std::string(name), {}});
    return sections.back().lines;
  }
  static std::vector<Line>::iterator FirstLine(std::vector<Line>& lines, std::string_view key) {
    return std::ranges::find_if(lines, [&](const Line& line) { return SameName(line.first, key); });
  }
  static std::optional<std::string> FirstValue(const Sections& sections, std::string_view section,
                                               std::string_view key) {
    if (const std::vector<Line>* lines = Find(sections, section)) {
      for (const Line& line : *lines) {
        if (SameName(line.first, key)) {
          return line.second;
        }
      }
    }
    return std::nullopt;
  }

  template <class Interface>
  Result<std::unique_ptr<Interface>> Open(const std::string& path, bool editing) {
    if (auto error = unreadable.find(path); error != unreadable.end()) {
      return WinError(error->second);
    }
    auto file = files_.find(path);
    const bool exists = file != files_.end();
    return std::unique_ptr<Interface>(
        std::make_unique<Copy>(*this, path, editing, exists, exists ? file->second : Sections{}));
  }

  template <class Change>
  Status EditAndCommit(const std::string& path, Change change) {
    Result<std::unique_ptr<IniEdit>> edit = Edit(path);
    if (!edit) {
      return edit.error();
    }
    if (Status changed = change(**edit); !changed) {
      return changed;
    }
    return (*edit)->Commit();
  }

  std::map<std::string, Sections> files_;
  std::set<std::string> editing_;
  std::map<std::string, int> readers_;
  bool writes_fail_ = false;
  int writes_ = 0;
};

}  // namespace gandry
