#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/clock.h"
#include "platform/shared_memory.h"
#include "platform/threads.h"
#include "platform/waitable_flag.h"
#include "watchdog/live_board.h"

namespace gandry {

// How long the publisher gathers further changes after one it has written: a burst of changes
// costs one write, and none waits longer than this.
inline constexpr std::chrono::milliseconds kLiveWriteSpacing{250};

// Copies the board into the live section, on a thread of its own, soon after every change.
// The watchdog only ever writes the section, so nothing in it can reach the watchdog.
class LivePublisher {
 public:
  LivePublisher(Clock& clock, Threads& threads, LiveBoard& board, SharedMemory& memory,
                std::uint32_t pid);
  LivePublisher(const LivePublisher&) = delete;
  LivePublisher& operator=(const LivePublisher&) = delete;
  ~LivePublisher() { Stop(); }

  // Creates the section, writes it and begins following the board. When no section or thread
  // can be made, the watchdog runs on without live state, and the manager shows what it did
  // before there was any.
  void Start();
  // Writes the section a last time, marked as ended, and waits for the thread to finish.
  void Stop();

 private:
  void Follow();
  void Write(bool ended);

  Clock& clock_;
  Threads& threads_;
  LiveBoard& board_;
  SharedMemory& memory_;
  const std::uint32_t pid_;
  std::int64_t started_ = 0;
  std::span<std::byte> view_;
  WaitableFlag changed_;  // raised by the board, and by Stop
  WaitableFlag stop_;
  std::unique_ptr<Thread> thread_;
};

}  // namespace gandry
