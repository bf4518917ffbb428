#include "tools/wine_rig/ring_reader.h"

#include <algorithm>

namespace gandry::rig {

namespace {

bool AnyContains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

}  // namespace

RingReader::RingReader() : channel_(memory_) {
  opened_ = channel_.open();
  // Whatever an earlier user of the section left behind is not ours.
  std::string stale;
  while (channel_.take(stale)) {
  }
}

const std::vector<std::string>& RingReader::Lines() {
  std::string line;
  while (channel_.take(line)) {
    lines_.push_back(line);
  }
  return lines_;
}

bool RingReader::HasLine(const std::string& text) {
  return AnyContains(Lines(), text);
}

bool RingReader::WaitFor(const std::function<bool(const std::vector<std::string>&)>& done,
                         DWORD limit_ms) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (!done(Lines())) {
    if (GetTickCount64() > deadline) {
      return false;
    }
    Sleep(50);
  }
  return true;
}

bool RingReader::WaitForLine(const std::string& text, DWORD limit_ms) {
  return WaitFor([&](const std::vector<std::string>& lines) { return AnyContains(lines, text); },
                 limit_ms);
}

}  // namespace gandry::rig
