#pragma once

#include <string>

namespace gandry {

// The desktop a user may be looking at.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Whether the process runs on a window station that a user can see, so that a message box
  // would reach someone. A service without desktop interaction has none.
  virtual bool HasVisibleWindowStation() = 0;
  // Shows a message box with an error icon and waits until it is closed.
  virtual void ShowError(const std::string& title, const std::string& text) = 0;
};

}  // namespace gandry
