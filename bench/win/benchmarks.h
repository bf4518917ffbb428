#pragma once

namespace gandry::bench {

// Each prints its figures with their units on standard output and returns 0, or prints why it
// could not measure on standard error and returns 1.

// "zt-gandry-demon" with one watched item: stop request to stopped, `runs` times.
int StopLatency(int loop_delay_service_s, int runs);
// A watched service found stopped, and stopped again right after it was brought back:
// seconds until it runs again, against the configured delays.
int Recovery();
// A watched service stopped from outside at random moments, `runs` times, under a watchdog
// that polls or that is notified of stops: until its start is requested and until it runs.
int StopToStart(bool notify, int runs);
// "zt-gandry-demon" watching one item gets a second one whose service is stopped: until that
// service's start is requested and until it runs, after a reload request and after a restart
// of the watchdog, `runs` times each.
int Reload(bool notify, int runs);
// CPU of the watchdog while its watched service hangs in start pending for `seconds`.
int HungStartCpu(int seconds);
// `count` services, each of which closes its port a different time after its start, under
// TCP checks every 5 s, restarted after two failures: seconds from the close to the stop.
int HealthRestart(int count);
// CPU of a watchdog with `items` monitors of one listening service, over `seconds`: without
// checks, with a TCP check and with an HTTP check, every 5 s each.
int HealthCpu(int items, int seconds);
// A watched service whose stop hangs for good, restarted on every pass, with HungServices=kill
// or leave: from the start of its stop until it runs again in a new process.
int HungStop(bool kill);
// Threads and memory of one watchdog that watches `items` items, beside those of a process
// that holds as many idle threads with the same stack reservation.
int ManyItems(int items);
// The comparison process: `count` idle threads, then sets the named event and waits.
int IdleThreads(int count, const char* ready_event);

// The architecture of this build, "x64" or "x86".
const char* Architecture();

}  // namespace gandry::bench
