#pragma once

#include "manager/manager.h"

namespace gandry {

// Looks for problems in Gandry.ini, the watched services, the service's and the event
// source's registration, and the permissions of Gandry.ini and its folder. Prints each problem
// on a line of its own with what to do; kExitFailed when there is any.
int RunCheck(Manager& manager);

}  // namespace gandry
