#pragma once

#include <string>
#include <vector>

#include "common/zt_mapfile.h"

namespace gandry {

// Every line the channel holds now, in the order taken.
inline std::vector<std::string> DrainChannel(MessageChannel& channel) {
  std::vector<std::string> lines;
  std::string line;
  while (channel.take(line)) {
    lines.push_back(line);
  }
  return lines;
}

// "<stem><first>" ... "<stem><last>".
inline std::vector<std::string> Numbered(const std::string& stem, int first, int last) {
  std::vector<std::string> lines;
  for (int i = first; i <= last; ++i) {
    lines.push_back(stem + std::to_string(i));
  }
  return lines;
}

}  // namespace gandry
