#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/win/win_error_codes.h"
#include "platform/write_access.h"

namespace gandry {

// Files by path, and their permissions as lists of others who may write them.
class FakeFiles final : public Files, public WriteAccess {
 public:
  std::map<std::string, std::string> files;  // folders too, with empty contents
  std::optional<std::uint32_t> create_fails;
  // ReplaceContents fails with this code while it is set, leaving the file as it was.
  std::optional<std::uint32_t> replace_fails;
  // Others who may write a path; a path not listed has none. An error code stands for an
  // access control list that cannot be read.
  std::map<std::string, std::vector<std::string>> writers;
  std::map<std::string, std::uint32_t> acl_errors;

  bool Exists(const std::string& path) override { return files.contains(path); }
  Status CreateNew(const std::string& path, std::string_view bytes) override {
    if (create_fails) {
      return WinError(*create_fails);
    }
    if (files.contains(path)) {
      return WinError(win_error::kFileExists);
    }
    files[path] = std::string(bytes);
    return {};
  }

  // As on the disk: the contents change in one step, under the lock that Contents takes, so a
  // reader on another thread sees the old file or the new one.
  Status ReplaceContents(const std::string& path, std::string_view bytes) override {
    std::lock_guard lock(mutex_);
    if (replace_fails) {
      return WinError(*replace_fails);
    }
    files[path] = std::string(bytes);
    ++replacements_;
    return {};
  }
  // A file's contents as a reader on another thread sees them; nullopt for a missing file.
  std::optional<std::string> Contents(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto it = files.find(path);
    return it == files.end() ? std::nullopt : std::optional(it->second);
  }
  int replacements() {
    std::lock_guard lock(mutex_);
    return replacements_;
  }

  Result<std::vector<std::string>> OthersWhoMayWrite(const std::string& path) override {
    if (auto error = acl_errors.find(path); error != acl_errors.end()) {
      return WinError(error->second);
    }
    auto it = writers.find(path);
    return it == writers.end() ? std::vector<std::string>{} : it->second;
  }

 private:
  std::mutex mutex_;
  int replacements_ = 0;
};

}  // namespace gandry
