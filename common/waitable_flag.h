#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace gandry {

// A boolean that is raised once and that threads can wait on. Raising it wakes every waiter at
// once; this is what lets a stop or terminate request cut a long pause short.
class WaitableFlag {
 public:
  void Raise();
  bool IsRaised() const;
  // Waits until the flag is raised or the time is up; returns whether it is raised.
  bool WaitFor(std::chrono::milliseconds duration) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable raised_cv_;
  bool raised_ = false;
};

}  // namespace gandry
