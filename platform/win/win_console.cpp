#include "platform/win/win_console.h"

#include <windows.h>

namespace gandry {

namespace {

// The handler that the platform's control routine passes events to. Set before the routine is
// registered and never changed while it is, so the platform's thread reads it safely.
std::function<void(std::uint32_t)>& BreakCallback() {
  static std::function<void(std::uint32_t)> callback;
  return callback;
}

BOOL WINAPI ControlRoutine(DWORD event_type) {
  BreakCallback()(event_type);
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

void WinConsole::SetTextAttribute(std::uint16_t attribute) {
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), attribute);
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

void WinConsole::InstallBreakHandler(std::function<void(std::uint32_t)> handler) {
  BreakCallback() = std::move(handler);
  SetConsoleCtrlHandler(ControlRoutine, TRUE);
}

void WinConsole::RemoveBreakHandler() {
  SetConsoleCtrlHandler(ControlRoutine, FALSE);
}

}  // namespace gandry
