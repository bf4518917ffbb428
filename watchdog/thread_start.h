#pragma once

#include <functional>

namespace gandry {

// Stack reserved for each monitor thread: a thousand monitors must fit comfortably into the
// address space of a 32-bit process.
inline constexpr unsigned kMonitorStackReservation = 64 * 1024;

// Runs `body` on a new detached thread with a small stack reservation. Returns false when no
// thread could be created. An exception escaping `body` is swallowed at the thread's edge.
bool StartDetachedThread(std::function<void()> body);

}  // namespace gandry
