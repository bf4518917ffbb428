#include "shell/shell_output.h"

namespace gandry {

namespace {
// Held text goes out once it reaches this size, even before the relay pass ends.
constexpr std::size_t kHoldLimit = 8192;
}  // namespace

void ShellOutput::Line(std::string_view text) {
  std::lock_guard lock(mutex_);
  Add(text);
  Add("\r\n");
  if (*to_console_ || held_.size() >= kHoldLimit) {
    FlushLocked();
  }
}

void ShellOutput::Raw(std::string_view text) {
  std::lock_guard lock(mutex_);
  Add(text);
  FlushLocked();
}

void ShellOutput::Flush() {
  std::lock_guard lock(mutex_);
  FlushLocked();
}

void ShellOutput::Add(std::string_view text) {
  if (!to_console_) {
    to_console_ = console_.StdoutIsConsole();
  }
  held_.append(text);
}

void ShellOutput::FlushLocked() {
  if (!held_.empty()) {
    console_.WriteStdout(held_);
    held_.clear();
  }
}

}  // namespace gandry
