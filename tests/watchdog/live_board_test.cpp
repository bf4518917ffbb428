#include "watchdog/live_board.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/live_section.h"
#include "watchdog/live_publisher.h"
#include "watchdog/monitor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Services(const std::vector<LiveItem>& items) {
  std::vector<std::string> names;
  for (const LiveItem& item : items) {
    names.push_back(item.service);
  }
  return names;
}

TEST(LiveBoardTest, SnapshotFollowsTheItemsAndListsEndingMonitorsLast) {
  LiveBoard board;
  const LiveBoard::Id a = board.Add("a||1|0", "a", 1);
  const LiveBoard::Id b1 = board.Add("b||1|0", "b", 1);
  board.Add("c||1|0", "c", 1);
  const LiveBoard::Id b2 = board.Add("b||1|0", "b", 1);
  board.Update(b1, [](LiveItem& live) { live.attempts_left = 7; });
  board.SetItems({"b||1|0", "c||1|0", "b||1|0", "a||1|0"});
  EXPECT_THAT(Services(board.Snapshot()), ElementsAre("b", "c", "b", "a"));
  // Equal items pair up oldest first.
  EXPECT_EQ(board.Snapshot()[0].attempts_left, 7);

  // A reload drops "a"; its monitor is still ending, then ends.
  board.Reloaded({"c||1|0", "b||1|0", "b||1|0"});
  EXPECT_THAT(Services(board.Snapshot()), ElementsAre("c", "b", "b", "a"));
  board.Remove(a);
  board.Remove(b2);
  EXPECT_THAT(Services(board.Snapshot()), ElementsAre("c", "b"));
  EXPECT_EQ(board.reloads(), 1u);
}

TEST(LiveBoardTest, EveryChangeRaisesEachReadersFlagAndNoChangeNone) {
  LiveBoard board;
  WaitableFlag first;
  WaitableFlag second;
  board.Notify(first);
  board.Notify(second);
  const LiveBoard::Id id = board.Add("a", "a", 3);
  EXPECT_TRUE(first.IsRaised());
  EXPECT_TRUE(second.IsRaised());
  const std::uint64_t sequence = board.sequence();

  first.Lower();
  second.Lower();
  board.Update(id, [](LiveItem& live) { live.attempts_left = 3; });
  board.Update(id + 1, [](LiveItem& live) { live.attempts_left = 1; });  // no such entry
  EXPECT_FALSE(first.IsRaised());
  EXPECT_EQ(board.sequence(), sequence);

  board.StopNotifying(second);
  board.Update(id, [](LiveItem& live) { ++live.start_failures; });
  EXPECT_TRUE(first.IsRaised());
  EXPECT_FALSE(second.IsRaised());
  EXPECT_EQ(board.sequence(), sequence + 1);
}

// The monitor's looks, starts and schedule as the board shows them, and the entry gone once
// the monitor has ended.
TEST(LiveBoardTest, AMonitorReportsWhatItSeesAndDoes) {
  WatchdogRig rig;
  rig.services.Add("svc", ServiceState::kStopped);
  rig.services.Modify("svc", [](auto& s) { s.start_fails = true; });
  const std::int64_t begin_s = rig.clock.UnixTimeMs() / 1000;
  auto monitor = *TSrvManThread::Start(rig.watchdog, "svc||3|60");
  EXPECT_EQ(rig.watchdog.live.Snapshot().at(0).attempts_left, 3);
  std::vector<LiveItem> seen;
  const auto look = [&] { seen.push_back(rig.watchdog.live.Snapshot().at(0)); };
  const std::int64_t start_delay = kStartDelayThread.count();
  const std::int64_t loop = kLoopDelayThread.count();
  // The first start fails as the second pause begins, the second succeeds as the fourth does.
  rig.clock.At(start_delay + loop, [&] {
    look();
    rig.services.Modify("svc", [](auto& s) { s.start_fails = false; });
  });
  rig.clock.At(start_delay + 3 * loop, [&] {
    look();
    monitor->Terminate();
  });
  ASSERT_TRUE(monitor->WaitEnded(rig.clock, kEndLimit));
  ASSERT_EQ(seen.size(), 2u);

  EXPECT_EQ(seen[0].state, static_cast<std::uint8_t>(ServiceState::kStopped));
  EXPECT_EQ(seen[0].attempts_left, 2);
  EXPECT_EQ(seen[0].start_failures, 1u);
  EXPECT_EQ(seen[0].last_start, 0);
  EXPECT_EQ(seen[0].next_restart, begin_s + start_delay / 1000 + 3600);

  EXPECT_EQ(seen[1].state, static_cast<std::uint8_t>(ServiceState::kRunning));
  EXPECT_EQ(seen[1].attempts_left, 3);
  EXPECT_EQ(seen[1].starts, (std::array<std::uint64_t, kStartReasonCount>{1, 0, 0}));
  EXPECT_EQ(seen[1].start_failures, 1u);
  EXPECT_EQ(seen[1].last_start, begin_s + (start_delay + 3 * loop) / 1000);
  EXPECT_THAT(rig.watchdog.live.Snapshot(), IsEmpty());
}

TEST(LiveBoardTest, ThePublisherWritesEachChangeAndMarksTheEnd) {
  WatchdogRig rig;
  FakeSharedMemory memory(FakeSharedMemory::NewSection(kLiveSectionSize));
  LiveBoard board;
  LivePublisher publisher(rig.clock, rig.threads, board, memory, 4242);
  publisher.Start();
  ASSERT_TRUE(memory.published());
  std::optional<LiveStatus> status = ReadLiveStatus(memory.section());
  ASSERT_TRUE(status);
  EXPECT_EQ(status->pid, 4242u);
  EXPECT_EQ(status->started, rig.clock.UnixTimeMs() / 1000);
  EXPECT_THAT(status->items, IsEmpty());

  const LiveBoard::Id id = board.Add("svc", "svc", 2);
  const auto written = [&](std::uint64_t failures) {
    const std::optional<LiveStatus> now = ReadLiveStatus(memory.section());
    return now && now->items.size() == 1 && now->items[0].start_failures == failures;
  };
  ASSERT_TRUE(rig.clock.RunUntil([&] { return written(0); }, std::chrono::seconds(1)));
  board.Update(id, [](LiveItem& live) { ++live.start_failures; });
  ASSERT_TRUE(rig.clock.RunUntil([&] { return written(1); }, std::chrono::seconds(1)));

  publisher.Stop();
  status = ReadLiveStatus(memory.section());
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->ended);
  EXPECT_THAT(Services(status->items), ElementsAre("svc"));
}

}  // namespace
}  // namespace gandry::testing
