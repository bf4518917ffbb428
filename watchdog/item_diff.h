#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace gandry {

// How a reloaded item list relates to the items being watched, compared by value. Equal
// values pair up in order, so a listed twice item keeps both of its monitors.
struct ItemDiff {
  // Per wanted item, in order: the index of the running item it keeps, or none when new.
  std::vector<std::optional<std::size_t>> kept_from;
  // The indices of the running items that are gone, in order.
  std::vector<std::size_t> removed;

  std::size_t added() const;
};

ItemDiff DiffItems(const std::vector<std::string>& running, const std::vector<std::string>& wanted);

}  // namespace gandry
