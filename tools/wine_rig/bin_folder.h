#pragma once

#include <string>

namespace gandry::rig {

// The folder this program was started from, with a trailing backslash; the programs of the
// same build (gandry.svc, gandry.exe, test_service.exe) lie there.
std::string BinFolder();

// `stem` followed by this process's id and a counter: unique to this run.
std::string UniqueName(const std::string& stem);

// The command line that registers test_service.exe of this build with `options`.
std::string TestServiceCommand(const std::string& options = "");

}  // namespace gandry::rig
