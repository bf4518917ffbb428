#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/ini_store.h"

namespace gandry {

// How long a reader or an editor of Gandry.ini waits while another program holds the file or
// its edit lock. Edits take milliseconds; an editor program that keeps the file locked longer
// makes the read or the edit fail with its sharing violation.
inline constexpr std::chrono::seconds kIniBusyLimit{5};

// Opens the file for reading, trying again while it is busy.
Result<std::unique_ptr<IniFile>> ReadIniFile(IniStore& store, Clock& clock,
                                             const std::string& path);

// Begins an edit of the file, trying again while another edit holds the lock. Whatever is read
// from the edit is read under that lock, so a decision made on it stands until Commit.
Result<std::unique_ptr<IniEdit>> BeginIniEdit(IniStore& store, Clock& clock,
                                              const std::string& path);

// Commits the edit, trying again while a reader keeps the file from being replaced.
Status CommitIniEdit(IniEdit& edit, Clock& clock);

}  // namespace gandry
