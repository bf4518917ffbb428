#include "watchdog/item_diff.h"

#include <algorithm>

namespace gandry {

std::size_t ItemDiff::added() const {
  return static_cast<std::size_t>(
      std::count(kept_from.begin(), kept_from.end(), std::optional<std::size_t>{}));
}

ItemDiff DiffItems(const std::vector<std::string>& running,
                   const std::vector<std::string>& wanted) {
  ItemDiff diff;
  std::vector<bool> taken(running.size(), false);
  diff.kept_from.reserve(wanted.size());
  for (const std::string& item : wanted) {
    std::optional<std::size_t> match;
    for (std::size_t i = 0; i < running.size(); ++i) {
      if (!taken[i] && running[i] == item) {
        taken[i] = true;
        match = i;
        break;
      }
    }
    diff.kept_from.push_back(match);
  }
  for (std::size_t i = 0; i < running.size(); ++i) {
    if (!taken[i]) {
      diff.removed.push_back(i);
    }
  }
  return diff;
}

}  // namespace gandry
