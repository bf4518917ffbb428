#pragma once

namespace gandry {

// The version of this build: the project's version, as in the programs' version resources.
extern const char kProductVersion[];

}  // namespace gandry
