#include "platform/waitable_flag.h"

#include <gtest/gtest.h>

#include <thread>

namespace gandry {
namespace {

TEST(WaitableFlag, RaisingWakesAWaiterBeforeItsTimeIsUp) {
  WaitableFlag flag;
  EXPECT_FALSE(flag.IsRaised());
  EXPECT_FALSE(flag.WaitFor(std::chrono::milliseconds(1)));

  std::thread raiser([&] { flag.Raise(); });
  // An hour-long wait returns as soon as the flag is raised.
  EXPECT_TRUE(flag.WaitFor(std::chrono::hours(1)));
  raiser.join();
  EXPECT_TRUE(flag.IsRaised());
  EXPECT_TRUE(flag.WaitFor(std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace gandry
