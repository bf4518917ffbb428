#include "fakes/fake_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "fakes/fake_threads.h"

namespace gandry {
namespace {

using std::chrono::hours;
using std::chrono::milliseconds;
using std::chrono::minutes;

milliseconds Ticks(FakeClock& clock) {
  return milliseconds(clock.TickMs());
}

// Alone (no thread takes part), time moves only by a sleep, to its very end, or by Advance.
TEST(FakeClock, TimeMovesOnlyWhenASleepOrAnAdvanceMovesIt) {
  FakeClock clock(46000.5);  // noon
  EXPECT_EQ(Ticks(clock), milliseconds(0));
  EXPECT_EQ(clock.LocalTime().hour, 12);
  EXPECT_FALSE(clock.Sleep(hours(10), nullptr));
  EXPECT_EQ(Ticks(clock), hours(10));
  EXPECT_EQ(clock.LocalTime().hour, 22);
  EXPECT_EQ(clock.pauses(), (std::vector<milliseconds>{hours(10)}));

  // A jump of the local clock leaves the ticks alone.
  clock.JumpLocalTime(-hours(1));
  EXPECT_EQ(clock.LocalTime().hour, 21);
  EXPECT_EQ(Ticks(clock), hours(10));

  // An advance puts back what was still to come by as much.
  milliseconds ran_at{-1};
  clock.After(minutes(5), [&] { ran_at = Ticks(clock); });
  clock.Advance(minutes(10));
  EXPECT_EQ(Ticks(clock), hours(10) + minutes(10));
  EXPECT_EQ(ran_at, milliseconds(-1));
  clock.Sleep(minutes(6), nullptr);
  EXPECT_EQ(ran_at, hours(10) + minutes(15));
}

TEST(FakeClock, ActionsRunInTimeOrderAtTheirTickAndCanCutASleepShort) {
  FakeClock clock;
  std::vector<milliseconds> ran;
  const auto record = [&] { ran.push_back(Ticks(clock)); };
  clock.At(3000, record);
  clock.At(1000, record);
  clock.After(milliseconds(2000), record);
  clock.Sleep(milliseconds(5000), nullptr);
  EXPECT_EQ(
      ran, (std::vector<milliseconds>{milliseconds(1000), milliseconds(2000), milliseconds(3000)}));

  WaitableFlag wake;
  clock.At(6000, [&] { wake.Raise(); });
  EXPECT_TRUE(clock.Sleep(hours(1), &wake));
  EXPECT_EQ(Ticks(clock), milliseconds(6000));

  // An action due just as a sleep ends runs at the start of the next one.
  ran.clear();
  clock.At(7000, record);
  clock.Sleep(milliseconds(1000), nullptr);
  EXPECT_TRUE(ran.empty());
  clock.Sleep(milliseconds(1), nullptr);
  EXPECT_EQ(ran, (std::vector<milliseconds>{milliseconds(7000)}));
}

// Threads that take part, a test thread among them, as the watchdog's tests run monitors.
class Sleepers : public ::testing::Test {
 protected:
  // Runs `body` on a thread of its own that takes part in the clock's time.
  void Start(std::function<void()> body) {
    Result<std::unique_ptr<Thread>> thread = threads.Create(std::move(body), 0);
    ASSERT_TRUE(thread);
    (*thread)->Run();
  }
  void Note(int who, milliseconds at, bool raised = false) {
    std::lock_guard lock(mutex);
    woke.push_back({who, at, raised});
  }
  std::size_t Noted() {
    std::lock_guard lock(mutex);
    return woke.size();
  }

  struct Wake {
    int who;
    milliseconds at;
    bool raised;
    bool operator==(const Wake&) const = default;
  };
  FakeClock clock;
  FakeClock::Participant test_thread{clock};
  std::mutex mutex;
  std::vector<Wake> woke;
  FakeThreads threads{clock};
};

TEST_F(Sleepers, WakeInDeadlineOrderEachExactlyAtItsTime) {
  for (int who : {3, 1, 2}) {
    Start([this, who] {
      clock.Sleep(minutes(who), nullptr);
      Note(who, Ticks(clock));
    });
  }
  ASSERT_TRUE(clock.RunUntil([&] { return Noted() == 3; }));
  EXPECT_EQ(woke, (std::vector<Wake>{
                      {1, minutes(1), false}, {2, minutes(2), false}, {3, minutes(3), false}}));
  // Nothing is left to happen.
  EXPECT_FALSE(clock.RunUntil([] { return false; }));
  EXPECT_EQ(Ticks(clock), minutes(3));
}

TEST_F(Sleepers, AWaiterWakesWhenItsFlagIsRaisedAndTheOthersSleepOn) {
  WaitableFlag stop;
  WaitableFlag later;
  Start([&] {
    const bool raised = clock.Sleep(hours(1), &stop);
    Note(1, Ticks(clock), raised);
  });
  Start([&] {
    const bool raised = clock.Sleep(hours(2), &later);
    Note(2, Ticks(clock), raised);
  });
  Start([&] {
    clock.Sleep(minutes(10), nullptr);
    later.Raise();
  });
  // All sleep, and time stands still until this thread lets it move.
  ASSERT_TRUE(clock.RunUntil([] { return true; }));
  EXPECT_EQ(Ticks(clock), milliseconds(0));
  stop.Raise();
  ASSERT_TRUE(clock.RunUntil([&] { return Noted() == 2; }));
  EXPECT_EQ(woke, (std::vector<Wake>{{1, milliseconds(0), true}, {2, minutes(10), true}}));

  // A thread that sleeps on and on leaves RunUntil its limit.
  WaitableFlag end;
  Start([&] {
    while (!clock.Sleep(minutes(1), &end)) {
    }
  });
  EXPECT_FALSE(clock.RunUntil([] { return false; }, minutes(30)));
  EXPECT_GE(Ticks(clock), minutes(40));
  end.Raise();
  threads.Join();
}

}  // namespace
}  // namespace gandry
