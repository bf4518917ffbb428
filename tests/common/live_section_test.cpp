#include "common/live_section.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace gandry {
namespace {

LiveStatus Sample() {
  LiveStatus status;
  status.pid = 1234;
  status.started = 1'765'281'600;
  status.reloads = 3;
  status.watched = 2;
  LiveItem first;
  first.service = std::string(256, 'S');  // the longest name a service may have
  first.state = 4;
  first.attempts_left = 2;
  first.next_restart = 1'765'285'200;
  first.health_failures = 1;
  first.starts = {5, 6, 7};
  first.start_failures = 8;
  first.last_start = 1'765'281'700;
  LiveItem second;
  second.service = "Spooler";
  status.items = {first, second};
  return status;
}

std::uint32_t SequenceOf(const std::vector<std::byte>& view) {
  std::uint32_t sequence = 0;
  std::memcpy(&sequence, view.data() + 8, sizeof sequence);
  return sequence;
}

TEST(LiveSectionTest, RoundTripsAndMovesTheSequenceOnByTwoAWrite) {
  std::vector<std::byte> view(kLiveSectionSize);
  LiveStatus status = Sample();
  EncodeLiveStatus(status, view);
  EXPECT_EQ(SequenceOf(view), 2u);
  EXPECT_EQ(ReadLiveStatus(view), status);

  status.items.pop_back();
  status.ended = true;
  EncodeLiveStatus(status, view);
  EXPECT_EQ(SequenceOf(view), 4u);
  EXPECT_EQ(ReadLiveStatus(view), status);
}

TEST(LiveSectionTest, ATornCopyIsTriedAgainAndAWriterThatDiedMidWayIsGetOver) {
  std::vector<std::byte> view(kLiveSectionSize);
  EncodeLiveStatus(Sample(), view);
  const std::uint32_t odd = 7;
  std::memcpy(view.data() + 8, &odd, sizeof odd);
  LiveStatus status;
  EXPECT_EQ(DecodeLiveStatus(view, status), LiveDecode::kTorn);
  EXPECT_EQ(ReadLiveStatus(view), std::nullopt);
  // The next writer starts from an even sequence again.
  EncodeLiveStatus(Sample(), view);
  EXPECT_EQ(SequenceOf(view), 10u);
  EXPECT_EQ(ReadLiveStatus(view), Sample());
}

TEST(LiveSectionTest, RefusesATruncatedOrForeignSection) {
  std::vector<std::byte> view(kLiveSectionSize);
  LiveStatus status;
  // Never written.
  EXPECT_EQ(DecodeLiveStatus(view, status), LiveDecode::kForeign);
  EncodeLiveStatus(Sample(), view);
  // Shorter than the records its header counts, or than the header itself.
  const std::span<const std::byte> whole(view);
  EXPECT_EQ(DecodeLiveStatus(whole.first(kLiveHeaderSize + kLiveRecordSize + 10), status),
            LiveDecode::kTruncated);
  EXPECT_EQ(DecodeLiveStatus(whole.first(kLiveHeaderSize - 1), status), LiveDecode::kTruncated);
  // Another layout version, and a count beyond the capacity.
  std::vector<std::byte> other = view;
  other[4] = std::byte{2};
  EXPECT_EQ(DecodeLiveStatus(other, status), LiveDecode::kForeign);
  other = view;
  const std::uint32_t count = kLiveCapacity + 1;
  std::memcpy(other.data() + 20, &count, sizeof count);
  EXPECT_EQ(DecodeLiveStatus(other, status), LiveDecode::kForeign);
}

TEST(LiveSectionTest, ItemsBeyondTheCapacityHaveNoRecordButAreCounted) {
  std::vector<std::byte> view(kLiveSectionSize);
  LiveStatus status;
  status.items.resize(kLiveCapacity + 5);
  status.watched = kLiveCapacity + 5;
  EncodeLiveStatus(status, view);
  const std::optional<LiveStatus> read = ReadLiveStatus(view);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->items.size(), kLiveCapacity);
  EXPECT_EQ(read->watched, kLiveCapacity + 5);
}

}  // namespace
}  // namespace gandry
