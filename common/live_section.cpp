#include "common/live_section.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <string>

namespace gandry {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the section's layout is little-endian and written as the processor stores it");

constexpr std::size_t kMagicAt = 0;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kSequenceAt = 8;
constexpr std::size_t kHeaderSizeAt = 12;
constexpr std::size_t kRecordSizeAt = 16;
constexpr std::size_t kCountAt = 20;
constexpr std::size_t kWatchedAt = 24;
constexpr std::size_t kPidAt = 28;
constexpr std::size_t kStartedAt = 32;
constexpr std::size_t kReloadsAt = 40;
constexpr std::size_t kEndedAt = 48;

constexpr std::size_t kStateAt = 256;
constexpr std::size_t kAttemptsAt = 260;
constexpr std::size_t kNextRestartAt = 264;
constexpr std::size_t kHealthAt = 272;
constexpr std::size_t kStartsAt = 280;
constexpr std::size_t kFailuresAt = 304;
constexpr std::size_t kLastStartAt = 312;
static_assert(kLastStartAt + 8 == kLiveRecordSize);

constexpr int kReadTries = 8;

template <typename T>
void Put(std::byte* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <typename T>
T Get(const std::byte* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The sequence is the one field both processes touch at once: read and written whole, through
// volatile, at an offset the page-aligned view keeps aligned.
std::uint32_t LoadSequence(const std::byte* view) {
  return *reinterpret_cast<const volatile std::uint32_t*>(view + kSequenceAt);
}
void StoreSequence(std::byte* view, std::uint32_t value) {
  *reinterpret_cast<volatile std::uint32_t*>(view + kSequenceAt) = value;
}

void EncodeItem(const LiveItem& item, std::byte* record) {
  std::memset(record, 0, kLiveRecordSize);
  std::memcpy(record, item.service.data(), std::min(item.service.size(), kLiveNameSize));
  Put(record + kStateAt, item.state);
  Put(record + kAttemptsAt, item.attempts_left);
  Put(record + kNextRestartAt, item.next_restart);
  Put(record + kHealthAt, item.health_failures);
  for (std::size_t i = 0; i < kStartReasonCount; ++i) {
    Put(record + kStartsAt + 8 * i, item.starts[i]);
  }
  Put(record + kFailuresAt, item.start_failures);
  Put(record + kLastStartAt, item.last_start);
}

LiveItem DecodeItem(const std::byte* record) {
  LiveItem item;
  const auto* name = reinterpret_cast<const char*>(record);
  item.service.assign(name, std::find(name, name + kLiveNameSize, '\0'));
  item.state = Get<std::uint8_t>(record + kStateAt);
  item.attempts_left = Get<std::int32_t>(record + kAttemptsAt);
  item.next_restart = Get<std::int64_t>(record + kNextRestartAt);
  item.health_failures = Get<std::int32_t>(record + kHealthAt);
  for (std::size_t i = 0; i < kStartReasonCount; ++i) {
    item.starts[i] = Get<std::uint64_t>(record + kStartsAt + 8 * i);
  }
  item.start_failures = Get<std::uint64_t>(record + kFailuresAt);
  item.last_start = Get<std::int64_t>(record + kLastStartAt);
  return item;
}

}  // namespace

void EncodeLiveStatus(const LiveStatus& status, std::span<std::byte> view) {
  std::byte* base = view.data();
  // Odd from here on; a sequence a crashed writer left odd is moved on to the next odd value.
  const std::uint32_t writing = (LoadSequence(base) + 1) | 1U;
  StoreSequence(base, writing);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  const std::size_t count = std::min(status.items.size(), kLiveCapacity);
  Put(base + kMagicAt, kLiveMagic);
  Put(base + kVersionAt, kLiveLayoutVersion);
  Put(base + kHeaderSizeAt, static_cast<std::uint32_t>(kLiveHeaderSize));
  Put(base + kRecordSizeAt, static_cast<std::uint32_t>(kLiveRecordSize));
  Put(base + kCountAt, static_cast<std::uint32_t>(count));
  Put(base + kWatchedAt, status.watched);
  Put(base + kPidAt, status.pid);
  Put(base + kStartedAt, status.started);
  Put(base + kReloadsAt, status.reloads);
  Put(base + kEndedAt, std::uint32_t{status.ended ? 1U : 0U});
  for (std::size_t i = 0; i < count; ++i) {
    EncodeItem(status.items[i], base + kLiveHeaderSize + i * kLiveRecordSize);
  }
  std::atomic_thread_fence(std::memory_order_release);
  StoreSequence(base, writing + 1);
}

LiveDecode DecodeLiveStatus(std::span<const std::byte> view, LiveStatus& status) {
  if (view.size() < kLiveHeaderSize) {
    return LiveDecode::kTruncated;
  }
  const std::byte* base = view.data();
  const std::uint32_t before = LoadSequence(base);
  std::atomic_thread_fence(std::memory_order_acquire);
  if (before % 2 != 0) {
    return LiveDecode::kTorn;
  }
  // Everything is judged on a private copy, so that a change after the check cannot reach it.
  std::vector<std::byte> copy(base, base + kLiveHeaderSize);
  const auto count = static_cast<std::size_t>(Get<std::uint32_t>(copy.data() + kCountAt));
  const bool ours = Get<std::uint32_t>(copy.data() + kMagicAt) == kLiveMagic &&
                    Get<std::uint32_t>(copy.data() + kVersionAt) == kLiveLayoutVersion &&
                    Get<std::uint32_t>(copy.data() + kHeaderSizeAt) == kLiveHeaderSize &&
                    Get<std::uint32_t>(copy.data() + kRecordSizeAt) == kLiveRecordSize &&
                    count <= kLiveCapacity;
  if (ours) {
    if (view.size() < kLiveHeaderSize + count * kLiveRecordSize) {
      return LiveDecode::kTruncated;
    }
    copy.insert(copy.end(), base + kLiveHeaderSize,
                base + kLiveHeaderSize + count * kLiveRecordSize);
  }
  std::atomic_thread_fence(std::memory_order_acquire);
  if (LoadSequence(base) != before) {
    return LiveDecode::kTorn;
  }
  if (!ours) {
    return LiveDecode::kForeign;
  }
  const std::byte* header = copy.data();
  status.pid = Get<std::uint32_t>(header + kPidAt);
  status.started = Get<std::int64_t>(header + kStartedAt);
  status.reloads = Get<std::uint64_t>(header + kReloadsAt);
  status.ended = Get<std::uint32_t>(header + kEndedAt) != 0;
  status.watched = Get<std::uint32_t>(header + kWatchedAt);
  status.items.clear();
  status.items.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    status.items.push_back(DecodeItem(header + kLiveHeaderSize + i * kLiveRecordSize));
  }
  return LiveDecode::kDone;
}

std::optional<LiveStatus> ReadLiveStatus(std::span<const std::byte> view) {
  LiveStatus status;
  for (int i = 0; i < kReadTries; ++i) {
    switch (DecodeLiveStatus(view, status)) {
      case LiveDecode::kDone:
        return status;
      case LiveDecode::kTorn:
        continue;
      case LiveDecode::kForeign:
      case LiveDecode::kTruncated:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace gandry
