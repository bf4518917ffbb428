#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace gandry {

// Text colours, as the console's character attributes number them.
enum class TextColor : std::uint16_t {
  kDarkCyan = 3,
  kDarkRed = 4,
  kDarkYellow = 6,
  kGrey = 7,
  kBrightWhite = 15,
};

// The console events that reach a break handler.
enum class ConsoleEvent : std::uint8_t {
  kCtrlC,
  kCtrlBreak,
  kClose,
  kLogoff,
  kShutdown,
};

// What one read of the console's input queue gave.
enum class ConsoleInput {
  kKeyDown,  // a key was pressed
  kOther,    // a key release, mouse, window, menu or focus event
  kNone,     // standard input is no console, or the read failed
};

// Standard output, the console window and the console's control events.
class Console {
 public:
  virtual ~Console() = default;
  // Whether standard output is a console (rather than a file, a pipe or nothing).
  virtual bool StdoutIsConsole() = 0;
  // Writes all bytes to standard output; false when they could not be written.
  virtual bool WriteStdout(std::string_view bytes) = 0;
  // Colour of text written afterwards; no effect when stdout is no console.
  virtual void SetTextColor(TextColor color) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Reads one input record from standard input, waiting until one is there.
  virtual ConsoleInput ReadInput() = 0;
  // Detaches the process from its console.
  virtual void Detach() = 0;
  // The handler runs on a thread of the platform's for Ctrl+C, Ctrl+Break, closing of the
  // console, logoff and shutdown; it gets the event.
  virtual void InstallBreakHandler(std::function<void(ConsoleEvent)> handler) = 0;
  virtual void RemoveBreakHandler() = 0;
};

}  // namespace gandry
