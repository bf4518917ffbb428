#pragma once

namespace gandry {

// Whether the process runs on a window station that a user can see, so that a message box
// would reach someone. A service without desktop interaction has none.
bool HasVisibleWindowStation();

}  // namespace gandry
