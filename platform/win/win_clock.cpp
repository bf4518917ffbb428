#include "platform/win/win_clock.h"

#include <windows.h>

namespace gandry {

CivilTime WinClock::LocalTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::int64_t WinClock::TickMs() {
  return static_cast<std::int64_t>(GetTickCount64());
}

bool WinClock::Sleep(std::chrono::milliseconds duration, const WaitableFlag* wake) {
  if (wake != nullptr) {
    return wake->WaitFor(duration);
  }
  ::Sleep(static_cast<DWORD>(duration.count()));
  return false;
}

}  // namespace gandry
