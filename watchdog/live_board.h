#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/live_item.h"
#include "platform/waitable_flag.h"

namespace gandry {

// The live state of every running monitor, for whoever shows it outside the watchdog. Monitors
// write their own entry; readers take snapshots. Safe to use from any thread.
class LiveBoard {
 public:
  using Id = std::uint64_t;

  // A new entry for a monitor of `item` (its whole text) watching `service`.
  Id Add(const std::string& item, const std::string& service, std::int32_t attempts_left);
  void Remove(Id id);
  // Changes an entry in place; readers hear of it only when something changed.
  void Update(Id id, const std::function<void(LiveItem&)>& change);

  // The entries in the order of `items`; entries whose item is no longer listed (a monitor a
  // reload ends) follow in the order they were added. Equal items pair up in order.
  std::vector<LiveItem> Snapshot() const;
  // Changes so far, each entry added, removed or changed counting one.
  std::uint64_t sequence() const;
  std::uint64_t reloads() const;

  // The item list that the order follows; at the start of a run, and after each reload, which
  // counts it.
  void SetItems(const std::vector<std::string>& items);
  void Reloaded(const std::vector<std::string>& items);

  // Raises `flag` on every change from now on. Each reader has a flag of its own, since it
  // lowers the flag before it reads.
  void Notify(WaitableFlag& flag);
  void StopNotifying(WaitableFlag& flag);

 private:
  struct Entry {
    Id id;
    std::string item;
    LiveItem live;
  };

  void ChangedLocked();

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // in the order they were added
  std::vector<std::string> items_;
  std::vector<WaitableFlag*> flags_;
  Id next_id_ = 1;
  std::uint64_t sequence_ = 0;
  std::uint64_t reloads_ = 0;
};

}  // namespace gandry
