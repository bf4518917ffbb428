#include "platform/win/win_clock.h"

#include <windows.h>

#include <cstdint>

namespace gandry {

CivilTime WinClock::LocalTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::int64_t WinClock::UnixTimeMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // 100-ns intervals since 1601-01-01, of which 11,644,473,600 s lie before 1970.
  const std::int64_t intervals =
      static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
  return intervals / 10'000 - std::int64_t{11'644'473'600'000};
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
