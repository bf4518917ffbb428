#include "platform/win/win_desktop.h"

#include <windows.h>

namespace gandry {

bool WinDesktop::HasVisibleWindowStation() {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) {
    return false;
  }
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void WinDesktop::ShowError(const std::string& title, const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_ICONERROR);
}

}  // namespace gandry
