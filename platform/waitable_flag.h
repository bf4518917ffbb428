#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace gandry {

// A boolean that threads can wait on. Raising it wakes every waiter at once; this is what lets
// a stop or terminate request cut a long pause short. Most flags are raised once and stay so;
// a flag that signals something repeatable is lowered by its one waiter before it looks.
class WaitableFlag {
 public:
  // Something that waits for flags by its own means (a clock that simulates time) and must be
  // told of a raise. It must outlive every flag it watches.
  class Observer {
   public:
    virtual void FlagRaised() = 0;

   protected:
    ~Observer() = default;
  };

  void Raise();
  void Lower();
  bool IsRaised() const;
  // Waits until the flag is raised or the time is up; returns whether it is raised.
  bool WaitFor(std::chrono::milliseconds duration) const;

  void AddObserver(Observer* observer) const;
  void RemoveObserver(Observer* observer) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable raised_cv_;
  mutable std::vector<Observer*> observers_;
  bool raised_ = false;
};

}  // namespace gandry
