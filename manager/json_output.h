#pragma once

#include <nlohmann/json_fwd.hpp>

#include "manager/manager.h"

namespace gandry {

// Prints `document` on out as one JSON document in plain ASCII: its strings, which hold the
// system's code-page texts, are converted to UTF-8 first.
void PrintJson(Manager& manager, nlohmann::ordered_json document);

}  // namespace gandry
