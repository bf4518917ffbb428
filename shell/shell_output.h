#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"

namespace gandry {

// The shell's standard output. On a console every write goes out at once; to a file or a pipe
// text is held until the holding grows large or Flush is called. A write that fails is dropped:
// a closed pipe or a missing stdout must never end the shell before its clean-up.
class ShellOutput {
 public:
  explicit ShellOutput(Console& console) : console_(console) {}

  // Writes the text and a CR LF line end.
  void Line(std::string_view text);
  // Writes the text as it is and sends everything out at once (prompts).
  void Raw(std::string_view text);
  void Flush();

 private:
  void Add(std::string_view text);
  void FlushLocked();

  Console& console_;
  std::mutex mutex_;
  std::string held_;
  std::optional<bool> to_console_;
};

}  // namespace gandry
