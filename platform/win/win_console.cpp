#include "platform/win/win_console.h"

#include <windows.h>

namespace gandry {

namespace {

static_assert(static_cast<WORD>(TextColor::kDarkCyan) == (FOREGROUND_GREEN | FOREGROUND_BLUE));
static_assert(static_cast<WORD>(TextColor::kDarkRed) == FOREGROUND_RED);
static_assert(static_cast<WORD>(TextColor::kDarkYellow) == (FOREGROUND_RED | FOREGROUND_GREEN));
static_assert(static_cast<WORD>(TextColor::kGrey) ==
              (FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE));
static_assert(static_cast<WORD>(TextColor::kBrightWhite) ==
              (FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY));

// The handler that the platform's control routine passes events to. Set before the routine is
// registered and never changed while it is, so the platform's thread reads it safely.
std::function<void(ConsoleEvent)>& BreakCallback() {
  static std::function<void(ConsoleEvent)> callback;
  return callback;
}

ConsoleEvent EventOf(DWORD event_type) {
  switch (event_type) {
    case CTRL_BREAK_EVENT:
      return ConsoleEvent::kCtrlBreak;
    case CTRL_CLOSE_EVENT:
      return ConsoleEvent::kClose;
    case CTRL_LOGOFF_EVENT:
      return ConsoleEvent::kLogoff;
    case CTRL_SHUTDOWN_EVENT:
      return ConsoleEvent::kShutdown;
    default:
      return ConsoleEvent::kCtrlC;
  }
}

BOOL WINAPI ControlRoutine(DWORD event_type) {
  BreakCallback()(EventOf(event_type));
  return TRUE;
}

bool IsUsable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

bool WinConsole::StdoutIsConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return IsUsable(out) && GetConsoleMode(out, &mode);
}

bool WinConsole::WriteStdout(std::string_view bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!IsUsable(out)) {
    return false;
  }
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

void WinConsole::SetTextColor(TextColor color) {
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), static_cast<WORD>(color));
}

void WinConsole::SetTitle(const std::string& title) {
  SetConsoleTitleA(title.c_str());
}

ConsoleInput WinConsole::ReadInput() {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!IsUsable(in) || !GetConsoleMode(in, &mode)) {
    return ConsoleInput::kNone;
  }
  INPUT_RECORD record{};
  DWORD read = 0;
  if (!ReadConsoleInputA(in, &record, 1, &read) || read == 0) {
    return ConsoleInput::kNone;
  }
  return record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown ? ConsoleInput::kKeyDown
                                                                         : ConsoleInput::kOther;
}

void WinConsole::Detach() {
  FreeConsole();
}

void WinConsole::InstallBreakHandler(std::function<void(ConsoleEvent)> handler) {
  BreakCallback() = std::move(handler);
  SetConsoleCtrlHandler(ControlRoutine, TRUE);
}

void WinConsole::RemoveBreakHandler() {
  SetConsoleCtrlHandler(ControlRoutine, FALSE);
}

}  // namespace gandry
