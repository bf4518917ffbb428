#pragma once

namespace gandry::bench {

// Each prints its figures with their units on standard output and returns 0, or prints why it
// could not measure on standard error and returns 1.

// "zt-gandry-demon" with one watched item: stop request to stopped, `runs` times.
int StopLatency(int loop_delay_service_s, int runs);
// A watched service found stopped, and stopped again right after it was brought back:
// seconds until it runs again, against the configured delays.
int Recovery();
// CPU of the watchdog while its watched service hangs in start pending for `seconds`.
int HungStartCpu(int seconds);
// Threads and memory of one watchdog that watches `items` items, beside those of a process
// that holds as many idle threads with the same stack reservation.
int ManyItems(int items);
// The comparison process: `count` idle threads, then sets the named event and waits.
int IdleThreads(int count, const char* ready_event);

// The architecture of this build, "x64" or "x86".
const char* Architecture();

}  // namespace gandry::bench
