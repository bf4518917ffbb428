#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "manager/manager.h"

namespace gandry {

// Runs one manager command line (the arguments after the program name) on the gandry.svc and
// Gandry.ini beside `own_path`; returns the exit code.
int RunManager(ManagerPlatform& platform, const std::string& own_path,
               const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace gandry
