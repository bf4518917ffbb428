#include "platform/win/win_event_log.h"

#include <windows.h>

namespace gandry {

bool WinEventLog::Report(const std::string& source, std::uint16_t type, std::uint32_t event_id,
                         const std::string& message) {
  HANDLE handle = RegisterEventSourceA(nullptr, source.c_str());
  if (handle == nullptr) {
    return false;
  }
  // The message is the event's only insertion string, never a format.
  const char* strings[] = {message.c_str()};
  const BOOL reported = ReportEventA(handle, type, 0, event_id, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(handle);
  return reported != FALSE;
}

}  // namespace gandry
