#include "tools/wine_rig/ring_reader.h"

#include <algorithm>
#include <utility>

#include "support/channel_lines.h"

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
  DrainChannel(channel_);
}

const std::vector<std::string>& RingReader::Lines() {
  for (std::string& line : DrainChannel(channel_)) {
    lines_.push_back(std::move(line));
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
