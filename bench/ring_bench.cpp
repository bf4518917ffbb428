// Lines per second through the message channel: appends (one thread and eight threads sharing
// the channel's lock) and takes, for short and for full-length lines. Natively the ring lies in
// a heap buffer; on Windows it is the real named section (see ring_section_*.cpp).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/zt_mapfile.h"
#include "ring_section.h"

namespace gandry {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kRunTime{300};
// Each figure is the best of a few runs: other work on the machine only ever slows a run down.
constexpr int kRuns = 3;
constexpr int kBatch = 1000;  // lines between two looks at the clock
constexpr int kThreads = 8;

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

// Appends from `threads` threads at once for kRunTime; returns lines per second in all.
double AppendRate(MessageChannel& channel, const std::string& line, int threads) {
  std::atomic<bool> stop{false};
  std::atomic<long long> total{0};
  auto appender = [&] {
    long long count = 0;
    while (!stop.load(std::memory_order_relaxed)) {
      for (int i = 0; i < kBatch; ++i) {
        channel.append(line);
      }
      count += kBatch;
    }
    total += count;
  };
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back(appender);
  }
  std::this_thread::sleep_for(kRunTime);
  stop = true;
  for (std::thread& worker : workers) {
    worker.join();
  }
  return static_cast<double>(total.load()) / Seconds(Clock::now() - start);
}

// Takes full rings of `line` for kRunTime of taking; the refills are not timed.
double TakeRate(MessageChannel& channel, const std::string& line) {
  constexpr int kFill = kChannelSlotCount - 1;  // the most a drained ring holds without loss
  std::string out;
  while (channel.take(out)) {
  }
  Clock::duration taking{};
  long long taken = 0;
  while (taking < kRunTime) {
    for (int i = 0; i < kFill; ++i) {
      channel.append(line);
    }
    const Clock::time_point start = Clock::now();
    while (channel.take(out)) {
      ++taken;
    }
    taking += Clock::now() - start;
  }
  return static_cast<double>(taken) / Seconds(taking);
}

template <typename Measure>
double Best(Measure measure) {
  double best = 0;
  for (int run = 0; run < kRuns; ++run) {
    best = std::max(best, measure());
  }
  return best;
}

void Print(const char* where, const char* what, std::size_t bytes, const char* threads,
           double rate) {
  std::printf("ring %-8s %-6s %3zu-byte lines, %-9s %12.0f lines/s\n", where, what, bytes, threads,
              rate);
}

}  // namespace
}  // namespace gandry

int main() {
  using namespace gandry;
  const BenchSection section = MakeBenchSection();
  const char* where = section.where;
  MessageChannel channel(*section.memory);
  if (!channel.open()) {
    std::fprintf(stderr, "ring_bench: the channel cannot be opened\n");
    return 1;
  }
  for (const std::size_t bytes : {std::size_t{64}, kChannelLineMax}) {
    const std::string line(bytes, 'x');
    Print(where, "append", bytes, "1 thread", Best([&] { return AppendRate(channel, line, 1); }));
    Print(where, "append", bytes, "8 threads",
          Best([&] { return AppendRate(channel, line, kThreads); }));
    Print(where, "take", bytes, "1 thread", Best([&] { return TakeRate(channel, line); }));
  }
  channel.close();
  return 0;
}
