#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/zt_mapfile.h"

namespace gandry {

// The ring's protocol over a mapped view of kChannelSize bytes. Another process may change the
// header at any time; every index read from it is checked before use, so no header, however
// damaged, makes these functions touch memory outside the view.

#pragma pack(push, 1)
struct ChannelHeader {
  std::uint8_t marker;
  std::int32_t last_written;
  std::int32_t last_read;
};
struct ChannelSlot {
  char text[kChannelSlotSize];
};
#pragma pack(pop)
static_assert(sizeof(ChannelHeader) == kChannelHeaderSize);
static_assert(sizeof(ChannelSlot) == kChannelSlotSize);

inline constexpr std::uint8_t kChannelMarker = 'U';

// The slot that follows `index` in ring order; next(-1) is 0 and next(499) is 0.
constexpr int RingNext(int index) {
  return index < kChannelSlotCount - 1 ? index + 1 : 0;
}

// Gives the header its initial state (marker, no line written, none read) unless it already
// carries the marker.
void RingInitialise(std::byte* view);
// Stores `text`, cut to kChannelLineMax bytes, in the next slot; discards the oldest unread
// line when the ring is full.
void RingAppend(std::byte* view, std::string_view text);
// Copies the oldest unread line into `text`; false when there is none.
bool RingTake(std::byte* view, std::string& text);

}  // namespace gandry
