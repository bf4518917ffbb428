// Answers through its exit code whether it runs on a visible window station (1) or not (0).
#include "platform/win/win_desktop.h"

int main() {
  return gandry::WinDesktop().HasVisibleWindowStation() ? 1 : 0;
}
