#pragma once

#include <string>
#include <vector>

#include "common/delay_rule.h"
#include "common/ini_model.h"
#include "common/product_names.h"
#include "platform/ini_store.h"
#include "platform/result.h"
#include "watchdog/watchdog.h"

namespace gandry {

// A delay as the watchdog takes it from the file: the seconds it uses, and whether the file
// gets them written back (plain decimal) because it does not already say them.
struct DelayReading {
  int seconds = 0;
  bool write_back = false;
};
DelayReading ReadDelay(IniFile& file, const char* section, const DelaySetting& setting);

// The values of the section's keys whose names begin with `prefix` (any letter case), in file
// order, each cut to 200 characters. Reports the outcome on `channel` unless it is null.
std::vector<std::string> LoadItems(IniFile& file, MessageChannel* channel,
                                   const char* section = kServicesSection,
                                   const char* prefix = kItemKeyPrefix);

// Fills watchdog.settings and watchdog.items from "Gandry.ini" beside the executable, then
// writes the delays back that the file does not already say (creating a missing file). A file
// that exists but cannot be read changes nothing, is not written, and gives its error.
Status LoadConfiguration(Watchdog& watchdog);

}  // namespace gandry
