#include "common/waitable_flag.h"

namespace gandry {

void WaitableFlag::Raise() {
  {
    std::lock_guard lock(mutex_);
    raised_ = true;
  }
  raised_cv_.notify_all();
}

bool WaitableFlag::IsRaised() const {
  std::lock_guard lock(mutex_);
  return raised_;
}

bool WaitableFlag::WaitFor(std::chrono::milliseconds duration) const {
  std::unique_lock lock(mutex_);
  return raised_cv_.wait_for(lock, duration, [this] { return raised_; });
}

}  // namespace gandry
