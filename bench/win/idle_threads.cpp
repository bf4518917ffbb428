#include <cstdio>

#include "bench_rig.h"
#include "benchmarks.h"
#include "platform/win/win_threads.h"
#include "watchdog/monitor.h"

namespace gandry::bench {

// Threads made the way the watchdog makes its monitors, each waiting for good.
int IdleThreads(int count, const char* ready_event) {
  WinThreads threads;
  for (int i = 0; i < count; ++i) {
    Result<std::unique_ptr<Thread>> thread =
        threads.Create([] { Sleep(INFINITE); }, kMonitorStackReservation);
    if (!thread) {
      std::fprintf(stderr, "idle threads: thread %d could not be created (error %lu)\n", i + 1,
                   static_cast<unsigned long>(thread.error().code));
      return 1;
    }
    thread.value()->Run();
  }
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_event);
  SetEvent(ready);
  CloseHandle(ready);
  Sleep(INFINITE);  // ended by whoever measures it
  return 0;
}

}  // namespace gandry::bench
