#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "fakes/fake_clock.h"
#include "platform/threads.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// Threads that take part in a FakeClock's time. Creation can be made to fail; the threads
// made are counted, and a test can wait (on the clock) until all of them have ended.
class FakeThreads final : public Threads {
 public:
  explicit FakeThreads(FakeClock& clock) : clock_(clock) {}
  FakeThreads(const FakeThreads&) = delete;
  FakeThreads& operator=(const FakeThreads&) = delete;
  ~FakeThreads() override { Join(); }

  // Waits (in real time) until every thread made so far has ended.
  void Join() {
    std::unique_lock lock(state_->mutex);
    state_->ended.wait(lock, [this] { return state_->live == 0; });
  }

  // Creations fail with this error code once `after` more have succeeded; nullopt lets them
  // all succeed again.
  void SetFailure(std::optional<std::uint32_t> error, int after = 0) {
    std::lock_guard lock(state_->mutex);
    fail_after_ = created_ + after;
    failure_ = error;
  }
  int created() {
    std::lock_guard lock(state_->mutex);
    return created_;
  }
  int live() {
    std::lock_guard lock(state_->mutex);
    return state_->live;
  }
  std::size_t last_stack_reservation() const { return last_stack_.load(); }

  Result<std::unique_ptr<Thread>> Create(std::function<void()> body,
                                         std::size_t stack_reservation) override {
    {
      std::lock_guard lock(state_->mutex);
      if (failure_ && created_ >= fail_after_) {
        return WinError(*failure_);
      }
      ++created_;
      ++state_->live;
    }
    last_stack_ = stack_reservation;
    auto gate = std::make_shared<Gate>();
    clock_.AddParticipant();
    std::thread([this, state = state_, gate, body = std::move(body)] {
      clock_.AdoptThread();
      if (gate->Wait()) {
        try {
          body();
        } catch (...) {
          // As on the platform: nothing crosses the thread's edge.
        }
      }
      clock_.RemoveParticipant();
      gate->Finish();
      std::lock_guard lock(state->mutex);
      --state->live;
      state->ended.notify_all();
    }).detach();
    std::unique_ptr<Thread> thread = std::make_unique<Handle>(gate);
    return thread;
  }

 private:
  struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    std::optional<bool> run;  // set once: true to run the body, false to skip it
    bool done = false;        // the thread is past its body
    bool Wait() {
      std::unique_lock lock(mutex);
      opened.wait(lock, [this] { return run.has_value(); });
      return *run;
    }
    void Open(bool go) {
      std::lock_guard lock(mutex);
      if (!run) {
        run = go;
      }
      opened.notify_all();
    }
    void Finish() {
      std::lock_guard lock(mutex);
      done = true;
      opened.notify_all();
    }
    void Join() {
      std::unique_lock lock(mutex);
      if (run == true) {
        opened.wait(lock, [this] { return done; });
      }
    }
  };
  class Handle final : public Thread {
   public:
    explicit Handle(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    ~Handle() override { gate_->Open(false); }
    void Run() override { gate_->Open(true); }
    void Join() override { gate_->Join(); }

   private:
    std::shared_ptr<Gate> gate_;
  };
  struct State {
    std::mutex mutex;
    std::condition_variable ended;
    int live = 0;
  };

  FakeClock& clock_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
  // Guarded by the state's mutex.
  std::optional<std::uint32_t> failure_;
  int created_ = 0;
  int fail_after_ = 0;
  std::atomic<std::size_t> last_stack_{0};
};

}  // namespace gandry
