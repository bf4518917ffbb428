#pragma once

#include <string>

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// The command line the service must be registered with: this folder's gandry.svc, quoted.
std::string ExpectedCommandLine(const Manager& manager);

// Restart after 1 minute, 1 minute, then 5 minutes; reset after a day; stops with an error
// count as failures.
FailureActions ExpectedFailureActions();

// The commented sample that a new Gandry.ini is made from, with CR LF line ends.
std::string SampleIni();

int RunInstall(Manager& manager, const ManagerArgs& args);
int RunUninstall(Manager& manager);

}  // namespace gandry
