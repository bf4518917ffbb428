#include "watchdog/live_board.h"

#include <algorithm>
#include <unordered_map>

namespace gandry {

LiveBoard::Id LiveBoard::Add(const std::string& item, const std::string& service,
                             std::int32_t attempts_left) {
  std::lock_guard lock(mutex_);
  Entry entry{next_id_++, item, {}};
  entry.live.service = service;
  entry.live.attempts_left = attempts_left;
  entries_.push_back(std::move(entry));
  ChangedLocked();
  return entries_.back().id;
}

void LiveBoard::Remove(Id id) {
  std::lock_guard lock(mutex_);
  if (std::erase_if(entries_, [id](const Entry& entry) { return entry.id == id; }) > 0) {
    ChangedLocked();
  }
}

void LiveBoard::Update(Id id, const std::function<void(LiveItem&)>& change) {
  std::lock_guard lock(mutex_);
  const auto entry =
      std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
  if (entry == entries_.end()) {
    return;
  }
  LiveItem changed = entry->live;
  change(changed);
  if (changed != entry->live) {
    entry->live = std::move(changed);
    ChangedLocked();
  }
}

std::vector<LiveItem> LiveBoard::Snapshot() const {
  std::lock_guard lock(mutex_);
  // Per item text, its entries not yet placed, oldest first.
  std::unordered_map<std::string, std::vector<const Entry*>> waiting;
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    waiting[entry->item].push_back(&*entry);
  }
  std::vector<LiveItem> snapshot;
  snapshot.reserve(entries_.size());
  std::vector<bool> placed(entries_.size(), false);
  for (const std::string& item : items_) {
    const auto found = waiting.find(item);
    if (found == waiting.end() || found->second.empty()) {
      continue;
    }
    const Entry* entry = found->second.back();
    found->second.pop_back();
    placed[static_cast<std::size_t>(entry - entries_.data())] = true;
    snapshot.push_back(entry->live);
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (!placed[i]) {
      snapshot.push_back(entries_[i].live);
    }
  }
  return snapshot;
}

std::uint64_t LiveBoard::sequence() const {
  std::lock_guard lock(mutex_);
  return sequence_;
}

std::uint64_t LiveBoard::reloads() const {
  std::lock_guard lock(mutex_);
  return reloads_;
}

void LiveBoard::SetItems(const std::vector<std::string>& items) {
  std::lock_guard lock(mutex_);
  items_ = items;
  ChangedLocked();
}

void LiveBoard::Reloaded(const std::vector<std::string>& items) {
  std::lock_guard lock(mutex_);
  items_ = items;
  ++reloads_;
  ChangedLocked();
}

void LiveBoard::Notify(WaitableFlag& flag) {
  std::lock_guard lock(mutex_);
  flags_.push_back(&flag);
}

void LiveBoard::StopNotifying(WaitableFlag& flag) {
  std::lock_guard lock(mutex_);
  std::erase(flags_, &flag);
}

void LiveBoard::ChangedLocked() {
  ++sequence_;
  for (WaitableFlag* flag : flags_) {
    flag->Raise();
  }
}

}  // namespace gandry
