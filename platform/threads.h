#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/result.h"

namespace gandry {

// A thread that has been created but runs only once Run is called, so that whatever must be
// done before it begins (a log line, say) is done by then.
class Thread {
 public:
  virtual ~Thread() = default;
  // Lets the thread begin; call once. Afterwards destroying this object leaves it running.
  // A thread destroyed without Run never runs its body.
  virtual void Run() = 0;
  // Waits until the body has returned; returns at once for a thread that was never run.
  virtual void Join() = 0;
};

class Threads {
 public:
  virtual ~Threads() = default;
  // Creates a thread for `body` with `stack_reservation` bytes of address space reserved for
  // its stack. An exception that escapes `body` ends the thread and goes no further.
  virtual Result<std::unique_ptr<Thread>> Create(std::function<void()> body,
                                                 std::size_t stack_reservation) = 0;
};

}  // namespace gandry
