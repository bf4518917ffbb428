#include "watchdog/thread_start.h"

#include <cstdint>
#include <memory>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <system_error>
#include <thread>
#endif

namespace gandry {

namespace {

void RunGuarded(const std::function<void()>& body) {
  try {
    body();
  } catch (...) {
    // Nothing may cross the thread's edge; the body handles its own failures.
  }
}

}  // namespace

#ifdef _WIN32

namespace {

unsigned __stdcall ThreadEntry(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  RunGuarded(*body);
  return 0;
}

}  // namespace

// std::thread cannot choose its stack size; _beginthreadex with a reservation can, and keeps
// the C runtime's per-thread data right.
bool StartDetachedThread(std::function<void()> body) {
  auto heap_body = std::make_unique<std::function<void()>>(std::move(body));
  const std::uintptr_t handle =
      _beginthreadex(nullptr, kMonitorStackReservation, &ThreadEntry, heap_body.get(),
                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) {
    return false;
  }
  heap_body.release();
  CloseHandle(reinterpret_cast<HANDLE>(handle));
  return true;
}

#else

bool StartDetachedThread(std::function<void()> body) {
  try {
    std::thread([body = std::move(body)] { RunGuarded(body); }).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

#endif

}  // namespace gandry
