#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "common/date_time.h"
#include "platform/clock.h"

namespace gandry {

// A clock whose time moves only when the test lets it. Sleeps block until time reaches their
// end or their wake flag is raised.
//
// Threads that take part (every thread made by FakeThreads, and a test thread inside a
// Participant scope) decide when time moves: once all of them sleep and none is due to wake,
// the actions due by now run, and then time jumps to the earliest end of a sleep or to the
// next action. So a loop with minute-long pauses runs through a simulated day in
// milliseconds, and what happens between two jumps does not depend on how the real threads
// are scheduled.
//
// With no thread taking part, a sleep runs the actions due on its way and ends as soon as
// time has reached its end.
class FakeClock final : public Clock, private WaitableFlag::Observer {
 public:
  using Action = std::function<void()>;

  explicit FakeClock(double local_start = 46000.5) : local_start_(local_start) {}
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  CivilTime LocalTime() override { return DecodeDateTime(Now()); }
  // Local wall-clock time as a date-time: the start, plus the time passed, plus any jumps of
  // the local clock.
  double Now() {
    std::lock_guard lock(mutex_);
    return local_start_ + static_cast<double>(now_ms_ + local_offset_ms_) / 86'400'000.0;
  }
  // The local start taken for UTC, plus the time passed; jumps of the local clock leave it be.
  std::int64_t UnixTimeMs() override {
    std::lock_guard lock(mutex_);
    return std::llround((local_start_ - kUnixEpochDateTime) * 86'400'000.0) + now_ms_;
  }
  std::int64_t TickMs() override {
    std::lock_guard lock(mutex_);
    return now_ms_;
  }
  bool Sleep(std::chrono::milliseconds duration, const WaitableFlag* wake) override {
    std::unique_lock lock(mutex_);
    ++sleeps_;
    pauses_.push_back(duration);
    return SleepLocked(lock, now_ms_ + duration.count(), wake, false);
  }

  // Runs `action` once time has reached `tick_ms` and whatever woke then sleeps again: an
  // action at the tick where a pause begins runs at the start of that pause. It runs on
  // whichever thread moves time on, with the clock unlocked.
  void At(std::int64_t tick_ms, Action action) {
    std::lock_guard lock(mutex_);
    actions_.emplace(tick_ms, std::move(action));
  }
  void After(std::chrono::milliseconds delay, Action action) {
    At(TickMs() + delay.count(), std::move(action));
  }
  // The local clock jumps (a daylight-saving change, a manual setting); ticks go on as before.
  void JumpLocalTime(std::chrono::milliseconds jump) {
    std::lock_guard lock(mutex_);
    local_offset_ms_ += jump.count();
  }
  // Moves time on by `duration` as if the process had stood still meanwhile: every sleep
  // under way and every action still to come is put back by as much.
  void Advance(std::chrono::milliseconds duration) {
    std::lock_guard lock(mutex_);
    now_ms_ += duration.count();
    for (Sleeper* s : sleepers_) {
      if (s->end != kForever) {
        s->end += duration.count();
      }
    }
    std::multimap<std::int64_t, Action> later;
    for (auto& [tick, action] : actions_) {
      later.emplace(tick + duration.count(), std::move(action));
    }
    actions_ = std::move(later);
    WakeDue();
  }
  int sleeps() const { return sleeps_.load(); }
  // The length of every sleep so far, in order.
  std::vector<std::chrono::milliseconds> pauses() {
    std::lock_guard lock(mutex_);
    return pauses_;
  }
  void ClearPauses() {
    std::lock_guard lock(mutex_);
    pauses_.clear();
  }

  // For a participating test thread: lets the other participants run until they all sleep,
  // then checks `done`; while it is false, moves time on to the next event. False when no
  // event is left or `limit` of simulated time has passed.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::hours(24 * 400)) {
    std::unique_lock lock(mutex_);
    const std::int64_t end = now_ms_ + limit.count();
    for (;;) {
      WaitForOthersAsleep(lock);
      lock.unlock();
      const bool finished = done();
      lock.lock();
      if (finished) {
        return true;
      }
      if (now_ms_ >= end || !SleepLocked(lock, kForever, nullptr, true)) {
        return false;
      }
    }
  }

  // Makes the calling thread take part while the scope lasts.
  class Participant {
   public:
    explicit Participant(FakeClock& clock) : clock_(clock) {
      clock_.AddParticipant();
      clock_.AdoptThread();
    }
    Participant(const Participant&) = delete;
    Participant& operator=(const Participant&) = delete;
    ~Participant() { clock_.RemoveParticipant(); }

   private:
    FakeClock& clock_;
  };

  // For FakeThreads: a thread counts from its creation, so time cannot move before it runs.
  void AddParticipant() {
    std::lock_guard lock(mutex_);
    ++participants_;
  }
  void AdoptThread() { adopted_ = this; }
  void RemoveParticipant() {
    std::unique_lock lock(mutex_);
    if (adopted_ == this) {
      adopted_ = nullptr;
    }
    --participants_;
    changed_.notify_all();
    MoveTimeIfAllAsleep(lock);
  }

 private:
  static constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();
  static constexpr double kUnixEpochDateTime = 25569.0;  // 1970-01-01 as a date-time

  // Each sleeper waits on a condition of its own, so a move of time wakes only the threads
  // it concerns: a thousand sleeping monitors cost nothing while one of them works.
  struct Sleeper {
    Sleeper(std::int64_t end, const WaitableFlag* wake, bool participant, bool until_next_event,
            std::uint64_t since)
        : end(end),
          wake(wake),
          participant(participant),
          until_next_event(until_next_event),
          since(since) {}
    std::int64_t end;
    const WaitableFlag* wake;
    bool participant;
    bool until_next_event;  // ends at the next event: time moving on, or an action run
    std::uint64_t since;
    bool woken = false;  // told to wake, and not yet gone
    std::condition_variable cv;
  };

  void FlagRaised() override {
    std::lock_guard lock(mutex_);
    WakeDue();
  }

  bool Due(const Sleeper& s) const {
    return (s.wake != nullptr && s.wake->IsRaised()) || now_ms_ >= s.end ||
           (s.until_next_event && (events_ != s.since || stalled_));
  }

  void WakeDue() {
    for (Sleeper* s : sleepers_) {
      if (!s->woken && Due(*s)) {
        s->woken = true;
        ++woken_;
        s->cv.notify_one();
      }
    }
  }

  // Returns whether the wake flag was raised (for an until-next-event sleep: whether time
  // moved).
  bool SleepLocked(std::unique_lock<std::mutex>& lock, std::int64_t end, const WaitableFlag* wake,
                   bool until_next_event) {
    if (wake != nullptr) {
      wake->AddObserver(this);
    }
    Sleeper me(end, wake, adopted_ == this, until_next_event, events_);
    if (participants_ == 0 && !until_next_event && end != kForever) {
      // Nobody to wait for: time runs on to the end of this sleep. Actions due at its end are
      // left to whatever sleeps next.
      while (now_ms_ < end && (wake == nullptr || !wake->IsRaised())) {
        if (!moving_) {
          RunDueActions(lock);
          if (wake != nullptr && wake->IsRaised()) {
            break;
          }
        }
        std::int64_t next = end;
        if (!actions_.empty()) {
          next = std::min(next, std::max(now_ms_, actions_.begin()->first));
        }
        now_ms_ = next == now_ms_ ? end : next;
      }
      WakeDue();
    }
    sleepers_.push_back(&me);
    asleep_ += me.participant ? 1 : 0;
    changed_.notify_all();
    while (!me.woken && !Due(me)) {
      MoveTimeIfAllAsleep(lock);
      if (!me.woken && !Due(me)) {
        me.cv.wait(lock);
      }
    }
    woken_ -= me.woken ? 1 : 0;
    asleep_ -= me.participant ? 1 : 0;
    std::erase(sleepers_, &me);
    changed_.notify_all();
    if (wake != nullptr) {
      wake->RemoveObserver(this);
    }
    if (until_next_event) {
      const bool happened = events_ != me.since;
      stalled_ = false;
      return happened;
    }
    return wake != nullptr && wake->IsRaised();
  }

  void WaitForOthersAsleep(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return asleep_ + 1 >= participants_ && !AnyDue(); });
  }

  bool AnyDue() const {
    if (woken_ > 0) {
      return true;
    }
    for (const Sleeper* s : sleepers_) {
      if (Due(*s)) {
        return true;
      }
    }
    return false;
  }

  // Runs the due actions, then moves time to the next event, while every participant sleeps
  // and none is due.
  void MoveTimeIfAllAsleep(std::unique_lock<std::mutex>& lock) {
    while (!moving_ && participants_ > 0 && asleep_ >= participants_ && woken_ == 0) {
      if (!actions_.empty() && actions_.begin()->first <= now_ms_) {
        RunDueActions(lock);
        continue;
      }
      std::int64_t next = kForever;
      for (const Sleeper* s : sleepers_) {
        next = std::min(next, s->end);
      }
      if (!actions_.empty()) {
        next = std::min(next, actions_.begin()->first);
      }
      if (next == kForever) {
        // Nothing will ever happen; only a test waiting for the next event can learn so.
        stalled_ = true;
        WakeDue();
        return;
      }
      now_ms_ = std::max(now_ms_, next);
      ++events_;
      WakeDue();
    }
  }

  void RunDueActions(std::unique_lock<std::mutex>& lock) {
    moving_ = true;
    while (!actions_.empty() && actions_.begin()->first <= now_ms_) {
      Action action = std::move(actions_.begin()->second);
      actions_.erase(actions_.begin());
      lock.unlock();
      action();
      lock.lock();
      ++events_;
      WakeDue();
    }
    moving_ = false;
    changed_.notify_all();
  }

  static inline thread_local FakeClock* adopted_ = nullptr;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t now_ms_ = 0;
  std::int64_t local_offset_ms_ = 0;
  double local_start_;
  int participants_ = 0;
  int asleep_ = 0;  // participants among the sleepers
  int woken_ = 0;   // sleepers told to wake that have not yet gone
  bool moving_ = false;
  bool stalled_ = false;
  std::uint64_t events_ = 0;
  std::vector<Sleeper*> sleepers_;
  std::multimap<std::int64_t, Action> actions_;
  std::atomic<int> sleeps_{0};
  std::vector<std::chrono::milliseconds> pauses_;
};

}  // namespace gandry
