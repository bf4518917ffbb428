#include <process.h>

#include <cstdio>

#include "bench/win/bench_rig.h"
#include "bench/win/benchmarks.h"
#include "watchdog/thread_start.h"

namespace gandry::bench {

namespace {

unsigned __stdcall WaitForever(void*) {
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int IdleThreads(int count, const char* ready_event) {
  for (int i = 0; i < count; ++i) {
    const std::uintptr_t thread =
        _beginthreadex(nullptr, kMonitorStackReservation, &WaitForever, nullptr,
                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0) {
      std::fprintf(stderr, "idle threads: thread %d could not be created\n", i + 1);
      return 1;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
  }
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_event);
  SetEvent(ready);
  CloseHandle(ready);
  Sleep(INFINITE);  // ended by whoever measures it
  return 0;
}

}  // namespace gandry::bench
