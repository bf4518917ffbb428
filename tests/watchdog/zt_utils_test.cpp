#include <gtest/gtest.h>

#include <vector>

#include "common/parse_text.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_service_manager.h"
#include "watchdog/zt_utils.h"

namespace gandry {
namespace {

using std::chrono::milliseconds;

TEST(ExtractField, CountsFieldsFromOne) {
  EXPECT_EQ(ExtractField("a|b|c", 1, '|'), "a");
  EXPECT_EQ(ExtractField("a|b|c", 2, '|'), "b");
  EXPECT_EQ(ExtractField("a|b|c", 3, '|'), "c");
  EXPECT_EQ(ExtractField("a|b|c", 4, '|'), "");
  EXPECT_EQ(ExtractField("a||c", 2, '|'), "");
  EXPECT_EQ(ExtractField("a||c", 3, '|'), "c");
  EXPECT_EQ(ExtractField("abc", 1, '|'), "abc");
  EXPECT_EQ(ExtractField("", 1, '|'), "");
  EXPECT_EQ(ExtractField("name|x|3|60", 3, '|'), "3");
  EXPECT_EQ(ExtractField("name|x|3|60", 4, '|'), "60");
  EXPECT_EQ(ExtractField("name", 2, '|'), "");
  EXPECT_EQ(ExtractField("a|b|", 3, '|'), "");
  EXPECT_EQ(ExtractField("a|b", 0, '|'), "");
}

TEST(AddMinutes, MovesByFractionsOfADayRoundedOnce) {
  const double t = 46000.5;
  EXPECT_DOUBLE_EQ(AddMinutes(90, t), t + 1.5 / 24);
  EXPECT_EQ(AddMinutes(-1440, t), 45999.5);
  EXPECT_LT(AddMinutes(-1, t), t);
  EXPECT_EQ(AddMinutes(0, t), t);
  // Computing in doubles would round three times and give 47429.113105153534.
  EXPECT_EQ(AddMinutes(24165, 47412.331855153527), 47429.113105153527);
}

class ServiceOps : public ::testing::Test {
 protected:
  FakeServiceManager services;
  FakeClock clock;
};

TEST_F(ServiceOps, QueryStateOpensForQueryOnly) {
  services.Add("svc", ServiceState::kRunning);
  EXPECT_EQ(QueryState(services, "svc"), ServiceState::kRunning);
  EXPECT_EQ(services.Get("svc").last_access, ServiceAccess::kQuery);
  EXPECT_EQ(QueryState(services, "nope"), ServiceState::kUnknown);
  services.Modify("svc", [](auto& s) { s.query_fails = true; });
  EXPECT_EQ(QueryState(services, "svc"), ServiceState::kUnknown);
  services.Modify("svc", [](auto& s) { s.query_fails = false; });
  services.fail_all = win_error::kAccessDenied;
  EXPECT_EQ(QueryState(services, "svc"), ServiceState::kUnknown);
}

TEST_F(ServiceOps, StartAndWaitJudgesByTheStateAfterwards) {
  services.Add("stopped", ServiceState::kStopped);
  EXPECT_TRUE(StartAndWait(services, clock, "stopped", nullptr));
  EXPECT_EQ(services.Get("stopped").last_access, ServiceAccess::kQueryAndStart);
  EXPECT_EQ(services.Get("stopped").state, ServiceState::kRunning);

  // The refused request of a running service does not matter.
  services.Add("running", ServiceState::kRunning);
  EXPECT_TRUE(StartAndWait(services, clock, "running", nullptr));
  EXPECT_EQ(services.Get("running").starts, 1);

  services.Add("broken", ServiceState::kStopped);
  services.Modify("broken", [](auto& s) { s.start_fails = true; });
  EXPECT_FALSE(StartAndWait(services, clock, "broken", nullptr));

  EXPECT_FALSE(StartAndWait(services, clock, "nope", nullptr));
  EXPECT_TRUE(clock.pauses().empty());
}

TEST_F(ServiceOps, StopAndWaitSendsTheControlEvenToAStoppedService) {
  services.Add("running", ServiceState::kRunning);
  EXPECT_TRUE(StopAndWait(services, clock, "running", nullptr));
  EXPECT_EQ(services.Get("running").last_access, ServiceAccess::kQueryAndStop);
  EXPECT_EQ(services.Get("running").state, ServiceState::kStopped);

  services.Add("stopped", ServiceState::kStopped);
  EXPECT_TRUE(StopAndWait(services, clock, "stopped", nullptr));
  EXPECT_EQ(services.Get("stopped").stops, 1);

  services.Add("mute", ServiceState::kRunning);
  services.Modify("mute", [](auto& s) { s.query_fails = true; });
  EXPECT_FALSE(StopAndWait(services, clock, "mute", nullptr));
  EXPECT_FALSE(StopAndWait(services, clock, "nope", nullptr));
}

TEST_F(ServiceOps, PendingWaitsPauseByTheWaitHint) {
  services.Add("slow", ServiceState::kStopped);
  services.Modify("slow", [](auto& s) {
    s.start_pending_polls = 5;
    s.stop_pending_polls = 3;
    s.wait_hint_ms = 3000;
  });
  EXPECT_TRUE(StartAndWait(services, clock, "slow", nullptr));
  EXPECT_EQ(clock.pauses(), std::vector<milliseconds>(5, milliseconds(300)));

  clock.ClearPauses();
  EXPECT_TRUE(StopAndWait(services, clock, "slow", nullptr));
  EXPECT_EQ(clock.pauses(), std::vector<milliseconds>(3, milliseconds(300)));

  // No hint still pauses; a long hint still polls every second.
  clock.ClearPauses();
  services.Modify("slow", [](auto& s) { s.wait_hint_ms = 0; });
  EXPECT_TRUE(StartAndWait(services, clock, "slow", nullptr));
  services.Modify("slow", [](auto& s) { s.wait_hint_ms = 120'000; });
  EXPECT_TRUE(StopAndWait(services, clock, "slow", nullptr));
  ASSERT_EQ(clock.pauses().size(), 8u);
  EXPECT_EQ(clock.pauses().front(), milliseconds(100));
  EXPECT_EQ(clock.pauses().back(), milliseconds(1000));
}

TEST_F(ServiceOps, AStopThatIsAcknowledgedLateIsWaitedFor) {
  // The service takes the control but still reports running for two more queries.
  services.Add("late", ServiceState::kRunning);
  services.Modify("late", [](auto& s) {
    s.stop_ack_polls = 2;
    s.stop_pending_polls = 1;
  });
  EXPECT_TRUE(StopAndWait(services, clock, "late", nullptr));
  EXPECT_EQ(services.Get("late").state, ServiceState::kStopped);

  // A service that refuses the control is not waited for: its running is the outcome.
  services.Add("refuses", ServiceState::kRunning);
  services.Modify("refuses", [](auto& s) { s.refuse = win_error::kInvalidServiceControl; });
  clock.ClearPauses();
  EXPECT_FALSE(StopAndWait(services, clock, "refuses", nullptr));
  EXPECT_TRUE(clock.pauses().empty());
}

TEST_F(ServiceOps, AHungStartGivesUpWhenTheCheckPointStandsStill) {
  services.Add("hung", ServiceState::kStopped);
  services.Modify("hung", [](auto& s) {
    s.hang_start_pending = true;
    s.wait_hint_ms = 2000;
  });
  EXPECT_FALSE(StartAndWait(services, clock, "hung", nullptr));
  // 30 s without progress (the hint is shorter), polled every 200 ms.
  EXPECT_EQ(clock.TickMs(), 30'000);
  EXPECT_EQ(services.Get("hung").queries, 151);
  EXPECT_EQ(services.Get("hung").state, ServiceState::kStartPending);

  // A longer hint is waited out in full.
  services.Add("patient", ServiceState::kStopped);
  services.Modify("patient", [](auto& s) {
    s.hang_start_pending = true;
    s.wait_hint_ms = 90'000;
  });
  const std::int64_t before = clock.TickMs();
  EXPECT_FALSE(StartAndWait(services, clock, "patient", nullptr));
  EXPECT_EQ(clock.TickMs() - before, 90'000);
}

TEST_F(ServiceOps, AStartThatKeepsProgressingGivesUpAfterTenMinutes) {
  services.Add("crawl", ServiceState::kStopped);
  services.Modify("crawl", [](auto& s) {
    s.start_pending_polls = 1'000'000;
    s.wait_hint_ms = 10'000;
  });
  EXPECT_FALSE(StartAndWait(services, clock, "crawl", nullptr));
  EXPECT_EQ(clock.TickMs(), 600'000);
  EXPECT_EQ(services.Get("crawl").queries, 601);
}

TEST_F(ServiceOps, CancelEndsAWaitAtOnce) {
  services.Add("hung", ServiceState::kStopped);
  services.Modify("hung", [](auto& s) {
    s.hang_start_pending = true;
    s.stop_pending_polls = 1'000'000;
    s.wait_hint_ms = 2000;
  });
  WaitableFlag cancel;
  clock.At(600, [&] { cancel.Raise(); });  // as the fourth pause begins
  EXPECT_FALSE(StartAndWait(services, clock, "hung", &cancel));
  EXPECT_EQ(services.Get("hung").queries, 4);
  EXPECT_EQ(clock.TickMs(), 600);

  // Already cancelled: one look at the state, no wait.
  services.Modify("hung", [](auto& s) { s.state = ServiceState::kRunning; });
  EXPECT_FALSE(StopAndWait(services, clock, "hung", &cancel));
  EXPECT_EQ(services.Get("hung").queries, 5);
  services.Modify("hung", [](auto& s) {
    s.stop_pending_polls = 0;
    s.state = ServiceState::kRunning;
  });
  EXPECT_TRUE(StopAndWait(services, clock, "hung", &cancel));
}

TEST_F(ServiceOps, AFailedQueryEndsTheWaitWithTheLastStateObtained) {
  services.Add("flaky", ServiceState::kStopped);
  services.Modify("flaky", [](auto& s) { s.start_pending_polls = 10; });
  clock.At(0, [&] { services.Modify("flaky", [](auto& s) { s.query_fails = true; }); });
  EXPECT_FALSE(StartAndWait(services, clock, "flaky", nullptr));
  EXPECT_EQ(services.Get("flaky").queries, 2);
}

}  // namespace
}  // namespace gandry
