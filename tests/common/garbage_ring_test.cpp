#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>

#include "common/zt_mapfile.h"
#include "fakes/fake_shared_memory.h"

namespace gandry {
namespace {

// Sections filled with random bytes, as a crashed or hostile peer might leave them: the reader
// drains within one round of the ring, never gets more than a slot's text, and afterwards the
// ring carries new lines as usual.
TEST(GarbageRing, RandomSectionsAreDrainedAndThenWorkAsUsual) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto section = FakeSharedMemory::NewSection();
    for (std::byte& b : *section) {
      b = static_cast<std::byte>(byte(random));
    }
    if (round % 2 == 0) {
      (*section)[0] = std::byte{'U'};  // keeps the garbage indices
    }
    FakeSharedMemory memory(section);
    MessageChannel channel(memory);
    ASSERT_TRUE(channel.open());

    std::string line;
    int taken = 0;
    while (channel.take(line) && taken <= kChannelSlotCount) {
      ++taken;
      EXPECT_LE(line.size(), kChannelLineMax);
      EXPECT_EQ(line.find('\0'), std::string::npos);
    }
    EXPECT_LE(taken, kChannelSlotCount);

    ASSERT_TRUE(channel.append("first"));
    ASSERT_TRUE(channel.append(std::string(300, 'x')));
    ASSERT_TRUE(channel.take(line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(channel.take(line));
    EXPECT_EQ(line, std::string(kChannelLineMax, 'x'));
    EXPECT_FALSE(channel.take(line));
  }
}

}  // namespace
}  // namespace gandry
