#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/zt_mapfile.h"
#include "platform/win/win_shared_memory.h"

namespace gandry::rig {

// The ring as the shell reads it; drained when opened so that only new lines count.
class RingReader {
 public:
  RingReader();

  bool opened() const { return opened_; }
  // Every line taken so far.
  const std::vector<std::string>& Lines();
  bool HasLine(const std::string& text);
  // Polls until `done` holds for the lines so far; false after `limit_ms`.
  bool WaitFor(const std::function<bool(const std::vector<std::string>&)>& done, DWORD limit_ms);
  // Polls until a line contains `text`; false after `limit_ms`.
  bool WaitForLine(const std::string& text, DWORD limit_ms);

 private:
  WinSharedMemory memory_;
  MessageChannel channel_;
  bool opened_ = false;
  std::vector<std::string> lines_;
};

}  // namespace gandry::rig
