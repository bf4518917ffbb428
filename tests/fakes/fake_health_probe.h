#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/health_probe.h"

namespace gandry {

// Health checks that give what the test scripted, per target, and remember every run. Safe to
// call from several monitors at once.
class FakeHealthProbe final : public HealthProbe {
 public:
  struct Step {
    ProbeOutcome outcome;
    // Takes the whole time-out on the clock (cut short by the stop flag, which gives
    // kCancelled) and then times out; `outcome` is not used.
    bool hangs = false;
  };
  static Step Healthy() { return {}; }
  static Step Fails(ProbeFailure failure, std::uint32_t detail = 0) {
    return {{failure, detail}, false};
  }
  static Step Hangs() { return {{}, true}; }

  struct Call {
    HealthTarget target;
    std::chrono::seconds timeout;
    ProbeOutcome outcome;
  };

  // Without a clock a hanging check waits in real time.
  explicit FakeHealthProbe(Clock* clock = nullptr) : clock_(clock) {}

  // The answers to the next checks of `target`, in order, after those scripted before.
  void Script(const HealthTarget& target, std::vector<Step> steps) {
    std::lock_guard lock(mutex_);
    std::deque<Step>& queue = QueueOf(target);
    queue.insert(queue.end(), steps.begin(), steps.end());
  }
  // What a check answers when its script is used up (healthy unless set).
  void SetFallback(Step step) {
    std::lock_guard lock(mutex_);
    fallback_ = step;
  }

  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  int runs(const HealthTarget& target) const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const Call& call : calls_) {
      count += call.target == target ? 1 : 0;
    }
    return count;
  }

  ProbeOutcome Run(const HealthTarget& target, std::chrono::seconds timeout,
                   const WaitableFlag& stop) override {
    Step step;
    {
      std::lock_guard lock(mutex_);
      std::deque<Step>& queue = QueueOf(target);
      step = queue.empty() ? fallback_ : queue.front();
      if (!queue.empty()) {
        queue.pop_front();
      }
    }
    ProbeOutcome outcome = step.outcome;
    if (stop.IsRaised()) {
      outcome = {ProbeFailure::kCancelled, 0};
    } else if (step.hangs) {
      const bool stopped =
          clock_ != nullptr ? clock_->Sleep(timeout, &stop) : stop.WaitFor(timeout);
      outcome = stopped ? ProbeOutcome{ProbeFailure::kCancelled, 0}
                        : ProbeOutcome{ProbeFailure::kTimedOut,
                                       static_cast<std::uint32_t>(timeout.count())};
    }
    std::lock_guard lock(mutex_);
    calls_.push_back({target, timeout, outcome});
    return outcome;
  }

 private:
  std::deque<Step>& QueueOf(const HealthTarget& target) {
    for (auto& [known, queue] : scripts_) {
      if (known == target) {
        return queue;
      }
    }
    return scripts_.emplace_back(target, std::deque<Step>{}).second;
  }

  Clock* clock_;
  mutable std::mutex mutex_;
  std::vector<std::pair<HealthTarget, std::deque<Step>>> scripts_;
  std::vector<Call> calls_;
  Step fallback_;
};

}  // namespace gandry
