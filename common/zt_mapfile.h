#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/shared_memory.h"

namespace gandry {

// The ring of text lines that the watchdog appends to and the shell takes from. Its layout in
// the shared section is an interface with any other peer and must not change:
//   offset 0: marker 'U' once initialised; 1: int32 last-written; 5: int32 last-read
//   (packed, little-endian), then 500 slots of 251 bytes (up to 250 text bytes and a NUL).
inline constexpr char kChannelName[] = "zt-mapfile-v2";
inline constexpr std::size_t kChannelHeaderSize = 9;
inline constexpr int kChannelSlotCount = 500;
inline constexpr std::size_t kChannelSlotSize = 251;
inline constexpr std::size_t kChannelLineMax = 250;
inline constexpr std::size_t kChannelSize =
    kChannelHeaderSize + kChannelSlotCount * kChannelSlotSize;
static_assert(kChannelSize == 125509);

class MessageChannel {
 public:
  explicit MessageChannel(SharedMemory& memory) : memory_(memory) {}
  MessageChannel(const MessageChannel&) = delete;
  MessageChannel& operator=(const MessageChannel&) = delete;
  ~MessageChannel() { close(); }

  // Creates or opens the section and initialises its header when it carries no marker.
  // Returns whether a view is mapped.
  bool open();
  // Appends one line, cut to 250 bytes. False when the channel is not open.
  bool append(std::string_view text);
  // Takes the oldest unread line. False when the channel is not open or holds no unread line.
  bool take(std::string& text);
  // Unmaps the view and closes the section; safe to call when already closed.
  void close();

 private:
  SharedMemory& memory_;
  // Serialises this process's appends, takes and close: a late append from another thread
  // must never touch an unmapped view.
  std::mutex mutex_;
  std::byte* view_ = nullptr;
};

}  // namespace gandry
