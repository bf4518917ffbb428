#pragma once

#include "platform/threads.h"

namespace gandry {

// Threads with a chosen stack reservation. std::thread cannot choose one, and a thousand
// monitors must fit into the address space of a 32-bit process.
class WinThreads final : public Threads {
 public:
  Result<std::unique_ptr<Thread>> Create(std::function<void()> body,
                                         std::size_t stack_reservation) override;
};

}  // namespace gandry
