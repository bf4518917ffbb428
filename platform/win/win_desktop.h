#pragma once

#include "platform/desktop.h"

namespace gandry {

// The process's window station and message boxes through user32.
class WinDesktop final : public Desktop {
 public:
  bool HasVisibleWindowStation() override;
  void ShowError(const std::string& title, const std::string& text) override;
};

}  // namespace gandry
