#pragma once

namespace gandry {

// The commented sample Gandry.ini that the release ships, with LF line ends.
extern const char kSampleIniText[];

}  // namespace gandry
