#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini_store.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// In-memory INI files with the profile functions' rules that callers rely on: names compare
// case-insensitively, a key listing keeps file order and repeats a key that is on more than
// one line, a read of such a key yields its first line's value, and a write or a delete acts
// on its first line only. A file does not exist until something is written to it. An edit
// works on a copy that Commit puts in place whole. Not thread-safe: one reader or editor at a
// time, as the tests use it.
class FakeIniStore final : public IniStore {
 public:
  using Line = std::pair<std::string, std::string>;
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };
  using Sections = std::vector<Section>;

  // Appends a key=value line to the section (creating file and section), even when the key
  // exists already.
  void AddLine(const std::string& path, const std::string& section, const std::string& key,
               const std::string& value) {
    FindOrAdd(files_[path], section).push_back({key, value});
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
  // The next `busy` calls of Edit fail with kErrorIniBusy, as while another edit holds the lock.
  int busy = 0;
  // Runs when an edit has taken the lock, before it copies the file: what another program
  // wrote just before.
  std::function<void()> on_edit;

  Result<std::unique_ptr<IniFile>> Read(const std::string& path) override {
    return Open<IniFile>(path);
  }

  Result<std::unique_ptr<IniEdit>> Edit(const std::string& path) override {
    if (busy > 0) {
      --busy;
      return ErrorOf(ErrorKind::kBusy);
    }
    if (on_edit) {
      on_edit();
    }
    if (writes_fail_) {
      return ErrorOf(ErrorKind::kAccessDenied);
    }
    return Open<IniEdit>(path);
  }

 private:
  // A snapshot of one file: what a reader sees, or the copy an edit changes.
  class Copy final : public IniEdit {
   public:
    Copy(FakeIniStore& store, std::string path, bool exists, Sections sections)
        : store_(store), path_(std::move(path)), exists_(exists), sections_(std::move(sections)) {}

    bool Exists() const override { return exists_; }
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
      return FirstValue(sections_, section, key).value_or("");
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
    Status Commit() override {
      store_.files_[path_] = sections_;
      ++store_.writes_;
      return {};
    }

   private:
    FakeIniStore& store_;
    std::string path_;
    bool exists_;
    Sections sections_;
  };

  static bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return Lower(x) == Lower(y); });
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
  Result<std::unique_ptr<Interface>> Open(const std::string& path) {
    if (auto error = unreadable.find(path); error != unreadable.end()) {
      return WinError(error->second);
    }
    auto file = files_.find(path);
    const bool exists = file != files_.end();
    return std::unique_ptr<Interface>(
        std::make_unique<Copy>(*this, path, exists, exists ? file->second : Sections{}));
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
  bool writes_fail_ = false;
  int writes_ = 0;
};

}  // namespace gandry
