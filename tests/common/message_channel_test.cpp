#include "common/zt_mapfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/ring.h"
#include "fakes/fake_shared_memory.h"
#include "support/channel_lines.h"

namespace gandry {
namespace {

std::int32_t ReadInt(const FakeSharedMemory::Section& s, std::size_t offset) {
  std::int32_t value;
  std::memcpy(&value, s.data() + offset, sizeof value);
  return value;
}

void WriteInt(FakeSharedMemory::Section& s, std::size_t offset, std::int32_t value) {
  std::memcpy(s.data() + offset, &value, sizeof value);
}

// Slot i starts at byte 9 + 251 * i.
std::size_t SlotOffset(std::size_t slot) {
  return 9 + 251 * slot;
}

std::string SlotBytes(const FakeSharedMemory::Section& s, std::size_t slot, std::size_t count) {
  return std::string(reinterpret_cast<const char*>(s.data() + SlotOffset(slot)), count);
}

class MessageChannelTest : public ::testing::Test {
 protected:
  FakeSharedMemory memory_;
  MessageChannel channel_{memory_};
  FakeSharedMemory::Section& section_ = memory_.section();

  int last_written() const { return ReadInt(section_, 1); }
  int last_read() const { return ReadInt(section_, 5); }
  void AppendNumbered(int first, int last) {
    for (const std::string& line : Numbered("line ", first, last)) {
      ASSERT_TRUE(channel_.append(line));
    }
  }
};

TEST_F(MessageChannelTest, AFreshSectionIsInitialisedAndCarriesOneLine) {
  ASSERT_TRUE(channel_.open());
  EXPECT_EQ(memory_.last_name(), "zt-mapfile-v2");
  EXPECT_EQ(section_[0], std::byte{'U'});
  EXPECT_EQ(last_written(), -1);
  EXPECT_EQ(last_read(), -1);
  std::string line = "unchanged";
  EXPECT_FALSE(channel_.take(line));
  EXPECT_EQ(line, "unchanged");

  ASSERT_TRUE(channel_.append("x"));
  EXPECT_EQ(last_written(), 0);
  EXPECT_EQ(last_read(), -1);
  EXPECT_EQ(SlotBytes(section_, 0, 2), std::string("x\0", 2));
  ASSERT_TRUE(channel_.take(line));
  EXPECT_EQ(line, "x");
  EXPECT_EQ(last_read(), 0);
  EXPECT_FALSE(channel_.take(line));
}

TEST_F(MessageChannelTest, ASecondOpenerKeepsTheStateOfTheFirst) {
  section_[0] = std::byte{'U'};
  WriteInt(section_, 1, 7);
  WriteInt(section_, 5, 3);
  std::memcpy(section_.data() + SlotOffset(4), "four", 5);
  ASSERT_TRUE(channel_.open());
  EXPECT_EQ(last_written(), 7);
  EXPECT_EQ(last_read(), 3);
  std::string line;
  ASSERT_TRUE(channel_.take(line));
  EXPECT_EQ(line, "four");

  // Writer and reader as two processes on one section.
  FakeSharedMemory reader_memory(memory_.section_ptr());
  MessageChannel reader(reader_memory);
  ASSERT_TRUE(reader.open());
  channel_.append("from the writer");
  EXPECT_EQ(DrainChannel(reader), (std::vector<std::string>{"", "", "", "from the writer"}));
}

TEST_F(MessageChannelTest, LinesKeepTheirBytesAndAreCutAt250) {
  ASSERT_TRUE(channel_.open());
  const std::string summary = "started:\n 1. [a|b]\n 2. [\xe4\xf6\xfc]";
  const std::string long_line(200, 'a');
  channel_.append("");
  channel_.append(summary);
  channel_.append(long_line + std::string(100, 'b'));
  EXPECT_EQ(SlotBytes(section_, 0, 1), std::string(1, '\0'));
  EXPECT_EQ(SlotBytes(section_, 2, 251), long_line + std::string(50, 'b') + '\0');
  EXPECT_EQ(DrainChannel(channel_),
            (std::vector<std::string>{"", summary, long_line + std::string(50, 'b')}));
}

TEST_F(MessageChannelTest, FiveHundredLinesFitWithoutLoss) {
  ASSERT_TRUE(channel_.open());
  AppendNumbered(1, 500);
  EXPECT_EQ(last_written(), 499);
  EXPECT_EQ(last_read(), -1);
  EXPECT_EQ(DrainChannel(channel_), Numbered("line ", 1, 500));
  EXPECT_EQ(last_read(), 499);
}

TEST_F(MessageChannelTest, TheFirstWrapBeforeAnyTakeDiscardsTheFirstTwoLines) {
  ASSERT_TRUE(channel_.open());
  AppendNumbered(1, 501);
  EXPECT_EQ(last_written(), 0);
  EXPECT_EQ(last_read(), 1);
  EXPECT_EQ(DrainChannel(channel_), Numbered("line ", 3, 501));
}

TEST_F(MessageChannelTest, AFullRingDiscardsExactlyTheOldestUnreadLinePerAppend) {
  ASSERT_TRUE(channel_.open());
  AppendNumbered(1, 10);
  std::string line;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(channel_.take(line));
  }
  // 499 unread lines leave the ring full: the writer is one slot behind the reader.
  AppendNumbered(11, 509);
  EXPECT_EQ(RingNext(last_written()), last_read());
  AppendNumbered(510, 510);
  EXPECT_EQ(DrainChannel(channel_), Numbered("line ", 12, 510));
  // The reader keeps up again: nothing more is lost, also across the end of the ring.
  for (int i = 511; i < 1300; ++i) {
    ASSERT_TRUE(channel_.append("line " + std::to_string(i)));
    ASSERT_TRUE(channel_.take(line));
    ASSERT_EQ(line, "line " + std::to_string(i));
  }
}

TEST_F(MessageChannelTest, AClosedOrUnopenableChannelDoesNothing) {
  std::string line;
  EXPECT_FALSE(channel_.append("x"));
  EXPECT_FALSE(channel_.take(line));
  channel_.close();
  EXPECT_EQ(section_[0], std::byte{0});

  memory_.set_fail_open(true);
  EXPECT_FALSE(channel_.open());
  EXPECT_FALSE(channel_.append("x"));
  memory_.set_fail_open(false);
  ASSERT_TRUE(channel_.open());
  ASSERT_TRUE(channel_.append("x"));
  channel_.close();
  EXPECT_FALSE(memory_.mapped());
  EXPECT_FALSE(channel_.append("y"));
  EXPECT_FALSE(channel_.take(line));
  channel_.close();
  EXPECT_EQ(last_written(), 0);
}

// A header that some other process scribbled on: the next operation of either side repairs it
// to an empty ring, uses only slots inside the section and goes on working.
TEST(MessageChannelHostileHeader, IndicesOutsideTheRingAreRepaired) {
  struct Case {
    std::int32_t written;
    std::int32_t read;
  };
  const Case cases[] = {{500, 3},      {-2, 3},      {3, 500},     {3, -2},
                        {500, 500},    {-1, 42},     {-1, 1000},   {INT_MIN, 0},
                        {INT_MAX, -1}, {0, INT_MIN}, {-1, INT_MAX}};
  for (const Case& c : cases) {
    for (const bool reader_first : {true, false}) {
      SCOPED_TRACE(std::to_string(c.written) + "," + std::to_string(c.read) +
                   (reader_first ? " reader first" : " writer first"));
      // Bytes past the section's end must stay as they are.
      auto section = FakeSharedMemory::NewSection(kChannelSize + 64);
      std::fill(section->begin() + kChannelSize, section->end(), std::byte{0xA5});
      (*section)[0] = std::byte{'U'};
      WriteInt(*section, 1, c.written);
      WriteInt(*section, 5, c.read);
      FakeSharedMemory memory(section);
      MessageChannel channel(memory);
      ASSERT_TRUE(channel.open());

      std::string line;
      if (reader_first) {
        EXPECT_FALSE(channel.take(line));
      }
      ASSERT_TRUE(channel.append("after"));
      const int written = ReadInt(*section, 1);
      const int read = ReadInt(*section, 5);
      EXPECT_GE(written, 0);
      EXPECT_LT(written, kChannelSlotCount);
      EXPECT_GE(read, -1);
      EXPECT_LT(read, kChannelSlotCount);
      EXPECT_EQ(DrainChannel(channel), std::vector<std::string>{"after"});
      EXPECT_TRUE(std::all_of(section->begin() + kChannelSize, section->end(),
                              [](std::byte b) { return b == std::byte{0xA5}; }));
    }
  }
}

TEST(MessageChannelHostileHeader, ARepairKeepsTheWriterOnTheReadersPlace) {
  // The writer's index is gone, the reader's is sound: new lines follow the reader's slot.
  auto section = FakeSharedMemory::NewSection();
  (*section)[0] = std::byte{'U'};
  WriteInt(*section, 1, 12345);
  WriteInt(*section, 5, 41);
  FakeSharedMemory memory(section);
  MessageChannel channel(memory);
  ASSERT_TRUE(channel.open());
  ASSERT_TRUE(channel.append("next"));
  EXPECT_EQ(ReadInt(*section, 1), 42);
  EXPECT_EQ(ReadInt(*section, 5), 41);
}

TEST(MessageChannelHostileHeader, ASlotWithoutItsNulYieldsOnlyItsTextBytes) {
  auto section = FakeSharedMemory::NewSection();
  (*section)[0] = std::byte{'U'};
  WriteInt(*section, 1, 499);
  WriteInt(*section, 5, 498);
  // The last slot is full to its last byte; past it the section ends.
  std::fill(section->end() - 251, section->end(), std::byte{'A'});
  FakeSharedMemory memory(section);
  MessageChannel channel(memory);
  ASSERT_TRUE(channel.open());
  std::string line;
  ASSERT_TRUE(channel.take(line));
  EXPECT_EQ(line, std::string(250, 'A'));
}

// Several threads append while another closes the channel: every append that reported success
// left exactly one whole line, the appends of each thread stay in order, and none wrote after
// the close.
TEST(MessageChannelThreads, AppendsAreSerialisedAndStopAtClose) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 120;  // 480 lines fit the ring without an overrun
  constexpr int kRounds = 100;
  for (int round = 0; round < kRounds; ++round) {
    auto section = FakeSharedMemory::NewSection();
    FakeSharedMemory writer_memory(section);
    MessageChannel writer(writer_memory);
    ASSERT_TRUE(writer.open());

    std::atomic<int> succeeded{0};
    // All threads start appending at once. (A plain flag: std::latch can miss its wake-up with
    // the mingw-w64 runtime.)
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) {
          std::this_thread::yield();
        }
        for (int i = 0; i < kPerThread; ++i) {
          if (!writer.append(std::to_string(t) + ":" + std::to_string(i))) {
            return;
          }
          ++succeeded;
        }
      });
    }
    go = true;
    const int close_after = round * kThreads * kPerThread / kRounds;
    while (succeeded.load() < close_after) {
      std::this_thread::yield();
    }
    writer.close();
    const int written_at_close = ReadInt(*section, 1);
    for (std::thread& thread : threads) {
      thread.join();
    }
    ASSERT_EQ(ReadInt(*section, 1), written_at_close);

    FakeSharedMemory reader_memory(section);
    MessageChannel reader(reader_memory);
    ASSERT_TRUE(reader.open());
    const std::vector<std::string> lines = DrainChannel(reader);
    ASSERT_EQ(static_cast<int>(lines.size()), succeeded.load());
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
      const int t = line[0] - '0';
      ASSERT_EQ(line, std::to_string(t) + ":" + std::to_string(next[t]));
      ++next[t];
    }
  }
}

}  // namespace
}  // namespace gandry
