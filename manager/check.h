#pragma once

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// Looks for problems in Gandry.ini, the watched services, the service's and the event
// source's registration, and the permissions of Gandry.ini and its folder. Prints each problem
// and note on a line of its own with what to do, or with --json one document that gives each
// its code, severity and text; kExitFailed when there is any problem (notes pass).
int RunCheck(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
