#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/live_item.h"

namespace gandry {

// The live state that a running watchdog publishes for the manager's status, in a named
// section that the watchdog alone writes. Layout (little-endian, fixed):
//   header, 64 bytes: magic, layout version, sequence, header size, record size, record count,
//     items watched, process id (uint32 each, from offset 0), start time (int64 at 32),
//     reloads (uint64 at 40), ended (uint32 at 48), the rest zero;
//   records of 320 bytes: service name (256 bytes, NUL-padded), state (uint8 at 256), attempts
//     left (int32 at 260), next restart (int64 at 264), health failures (int32 at 272), starts
//     by reason (3 x uint64 at 280), start failures (uint64 at 304), last start (int64 at 312).
// The sequence is odd while the watchdog writes, so a reader can tell a torn copy.
inline constexpr char kLiveSectionName[] = "gandry-live-v1";
inline constexpr std::uint32_t kLiveMagic = 0x564C4447;  // "GDLV"
inline constexpr std::uint32_t kLiveLayoutVersion = 1;
inline constexpr std::size_t kLiveHeaderSize = 64;
inline constexpr std::size_t kLiveRecordSize = 320;
inline constexpr std::size_t kLiveNameSize = 256;
inline constexpr std::size_t kLiveCapacity = 2048;
inline constexpr std::size_t kLiveSectionSize = kLiveHeaderSize + kLiveCapacity * kLiveRecordSize;

// What the section says.
struct LiveStatus {
  std::uint32_t pid = 0;     // the watchdog's process
  std::int64_t started = 0;  // when it began publishing, Unix seconds
  std::uint64_t reloads = 0;
  bool ended = false;         // it stopped cleanly
  std::uint32_t watched = 0;  // items watched; beyond the capacity they have no record
  std::vector<LiveItem> items;

  friend bool operator==(const LiveStatus&, const LiveStatus&) = default;
};

// Writes `status` into `view` (at least kLiveSectionSize bytes) under the sequence. Items beyond
// the capacity are left out, and names longer than 256 bytes cut.
void EncodeLiveStatus(const LiveStatus& status, std::span<std::byte> view);

enum class LiveDecode : std::uint8_t {
  kDone,
  kTorn,       // written meanwhile: copy again
  kForeign,    // not this layout, or not written yet
  kTruncated,  // smaller than its header says
};

// One copy of `view`, checked against the sequence and the layout.
LiveDecode DecodeLiveStatus(std::span<const std::byte> view, LiveStatus& status);

// The section's contents, copied again a few times while torn; none when it holds no live
// state this manager reads.
std::optional<LiveStatus> ReadLiveStatus(std::span<const std::byte> view);

}  // namespace gandry
