#pragma once

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

// The commands that read and edit Gandry.ini.
int RunList(Manager& manager);
int RunAdd(Manager& manager, const ManagerArgs& args);
int RunRemove(Manager& manager, const ManagerArgs& args);
int RunSet(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
