#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

namespace gandry {

// How a reloaded item list relates to the items being watched, compared by value. Equal
// values pair up in order, so a listed twice item keeps both of its monitors.
struct ItemDiff {
  // Per wanted item, in order: the index of the running item it keeps, or none when new.
  std::vector<std::optional<std::size_t>> kept_from;
  // The indices of the running items that are gone, in order.
  std::vector<std::size_t> removed;

  std::size_t added() const {
    return static_cast<std::size_t>(
        std::count(kept_from.begin(), kept_from.end(), std::optional<std::size_t>{}));
  }
};

// `Item` is whatever makes a monitor what it is: its item line, with its health check.
template <typename Item>
ItemDiff DiffItems(const std::vector<Item>& running, const std::vector<Item>& wanted) {
  ItemDiff diff;
  std::vector<bool> taken(running.size(), false);
  diff.kept_from.reserve(wanted.size());
  for (const Item& item : wanted) {
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
