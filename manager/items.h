#pragma once

#include <memory>
#include <string>
#include <vector>

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// One item of Gandry.ini as the watchdog reads it.
struct Item {
  std::string key;
  std::string value;  // as the watchdog uses it: at most 200 characters
  std::string service;
  std::string attempts;  // as written
  std::string period;    // as written
  bool cut = false;      // the line is longer than the watchdog reads
  // Lines of [Services] with this key. The profile functions read the first of them for each,
  // so the others are never watched and cannot be edited through the key.
  int lines = 1;
};

// The items of Gandry.ini in file order, one for each key.
std::vector<Item> ReadItems(IniFile& file);

// Gandry.ini for an edit, or nothing when it cannot be edited (said on err).
std::unique_ptr<IniEdit> BeginEdit(Manager& manager);
// Puts the edit in place and lets go of its lock, then prints each line of `done` and reloads
// the watchdog.
int FinishEdit(Manager& manager, std::unique_ptr<IniEdit> edit,
               const std::vector<std::string>& done, const ManagerArgs& args);

// The commands that read and edit Gandry.ini.
int RunList(Manager& manager);
int RunAdd(Manager& manager, const ManagerArgs& args);
int RunRemove(Manager& manager, const ManagerArgs& args);
int RunSet(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
