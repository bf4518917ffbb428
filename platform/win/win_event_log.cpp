#include "platform/win/win_event_log.h"

#include <windows.h>

#include "platform/win/win_error.h"

namespace gandry {

static_assert(static_cast<WORD>(EventType::kError) == EVENTLOG_ERROR_TYPE);
static_assert(static_cast<WORD>(EventType::kWarning) == EVENTLOG_WARNING_TYPE);
static_assert(static_cast<WORD>(EventType::kInformation) == EVENTLOG_INFORMATION_TYPE);

Status WinEventLog::Report(const std::string& source, EventType type, std::uint32_t event_id,
                           const std::string& message) {
  HANDLE handle = RegisterEventSourceA(nullptr, source.c_str());
  if (handle == nullptr) {
    return LastError();
  }
  // The message is the event's only insertion string, never a format.
  const char* strings[] = {message.c_str()};
  Status result;
  if (!ReportEventA(handle, static_cast<WORD>(type), 0, event_id, nullptr, 1, 0, strings,
                    nullptr)) {
    result = LastError();
  }
  DeregisterEventSource(handle);
  return result;
}

}  // namespace gandry
