#include "platform/waitable_flag.h"

#include <algorithm>

namespace gandry {

void WaitableFlag::Raise() {
  std::vector<Observer*> observers;
  {
    std::lock_guard lock(mutex_);
    raised_ = true;
    // Notified under the lock: a waiter that then frees the flag cannot do so before this
    // thread is done with it.
    raised_cv_.notify_all();
    observers = observers_;
  }
  for (Observer* observer : observers) {
    observer->FlagRaised();
  }
}

void WaitableFlag::Lower() {
  std::lock_guard lock(mutex_);
  raised_ = false;
}

bool WaitableFlag::IsRaised() const {
  std::lock_guard lock(mutex_);
  return raised_;
}

bool WaitableFlag::WaitFor(std::chrono::milliseconds duration) const {
  std::unique_lock lock(mutex_);
  return raised_cv_.wait_for(lock, duration, [this] { return raised_; });
}

void WaitableFlag::AddObserver(Observer* observer) const {
  std::lock_guard lock(mutex_);
  observers_.push_back(observer);
}

void WaitableFlag::RemoveObserver(Observer* observer) const {
  std::lock_guard lock(mutex_);
  const auto found = std::find(observers_.begin(), observers_.end(), observer);
  if (found != observers_.end()) {
    observers_.erase(found);
  }
}

}  // namespace gandry
