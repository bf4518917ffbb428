#include "platform/win/win_threads.h"

#include <process.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "platform/win/win_error.h"

namespace gandry {

namespace {

// What the new thread owns; it frees it when it ends.
struct ThreadStart {
  std::function<void()> body;
  std::atomic<bool> cancelled{false};
};

unsigned __stdcall ThreadEntry(void* argument) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
  if (!start->cancelled.load()) {
    try {
      start->body();
    } catch (...) {
      // Nothing may cross the thread's edge.
    }
  }
  return 0;
}

class WinThread final : public Thread {
 public:
  WinThread(HANDLE handle, ThreadStart* start) : handle_(handle), start_(start) {}
  WinThread(const WinThread&) = delete;
  WinThread& operator=(const WinThread&) = delete;
  ~WinThread() override {
    if (!ran_) {
      // Let it run only to free what it owns.
      start_->cancelled.store(true);
      ResumeThread(handle_);
    }
    CloseHandle(handle_);
  }

  void Run() override {
    if (!ran_) {
      ran_ = true;
      ResumeThread(handle_);
    }
  }

  void Join() override {
    if (ran_) {
      WaitForSingleObject(handle_, INFINITE);
    }
  }

 private:
  HANDLE handle_;
  ThreadStart* start_;  // owned by the thread; valid while it has not been resumed
  bool ran_ = false;
};

}  // namespace

Result<std::unique_ptr<Thread>> WinThreads::Create(std::function<void()> body,
                                                   std::size_t stack_reservation) {
  auto start = std::make_unique<ThreadStart>();
  start->body = std::move(body);
  // _beginthreadex rather than CreateThread keeps the C runtime's per-thread data right.
  const std::uintptr_t handle =
      _beginthreadex(nullptr, static_cast<unsigned>(stack_reservation), &ThreadEntry, start.get(),
                     CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) {
    const DWORD error = GetLastError();
    return WinError(error != 0 ? error : static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
  }
  std::unique_ptr<Thread> thread =
      std::make_unique<WinThread>(reinterpret_cast<HANDLE>(handle), start.release());
  return thread;
}

}  // namespace gandry
