#include "common/ring.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace gandry {
namespace {

// Header fields are read and written through volatile, so that each access is exactly one
// 32-bit load or store of the shared memory, as the peer process expects.
volatile ChannelHeader& HeaderOf(std::byte* view) {
  return *reinterpret_cast<volatile ChannelHeader*>(view);
}

char* SlotText(std::byte* view, int index) {
  return reinterpret_cast<ChannelSlot*>(view + kChannelHeaderSize)[index].text;
}

bool InRange(int index) {
  return index >= -1 && index < kChannelSlotCount;
}

struct Indices {
  int written;
  int read;
};

// Both indices, after repairing a pair that the protocol never produces (an index outside
// -1..499, or lines read although none was ever written). The repair empties the ring, so at
// most the unread lines are lost and the slots themselves stay as they are.
Indices LoadIndices(volatile ChannelHeader& header) {
  const Indices loaded{header.last_written, header.last_read};
  Indices at = loaded;
  if (!InRange(at.written)) {
    at.written = InRange(at.read) ? at.read : -1;
  }
  if (!InRange(at.read) || at.written == -1) {
    at.read = at.written;
  }
  if (at.written != loaded.written) {
    header.last_written = at.written;
  }
  if (at.read != loaded.read) {
    header.last_read = at.read;
  }
  return at;
}

}  // namespace

void RingInitialise(std::byte* view) {
  volatile ChannelHeader& header = HeaderOf(view);
  if (header.marker != kChannelMarker) {
    header.marker = kChannelMarker;
    header.last_written = -1;
    header.last_read = -1;
  }
}

void RingAppend(std::byte* view, std::string_view text) {
  volatile ChannelHeader& header = HeaderOf(view);
  const Indices at = LoadIndices(header);
  const int slot = RingNext(at.written);
  if (slot == at.read) {
    // The reader's last slot is about to be reused: reusing it would make the ring look empty,
    // so the oldest unread line goes.
    header.last_read = RingNext(at.read);
  } else if (at.read == -1 && slot == 0 && at.written != -1) {
    // First wrap before anything was taken: slot 0 is overwritten, the reader resumes at 2.
    header.last_read = 1;
  }
  const std::size_t length = std::min(text.size(), kChannelLineMax);
  char* target = SlotText(view, slot);
  std::memcpy(target, text.data(), length);
  target[length] = '\0';
  // The text must be in place before the reader can see the slot.
  std::atomic_thread_fence(std::memory_order_release);
  header.last_written = slot;
}

bool RingTake(std::byte* view, std::string& text) {
  volatile ChannelHeader& header = HeaderOf(view);
  const Indices at = LoadIndices(header);
  if (at.read == at.written) {
    return false;
  }
  std::atomic_thread_fence(std::memory_order_acquire);
  const int slot = RingNext(at.read);
  const char* source = SlotText(view, slot);
  // A slot without its NUL still yields no more than its text bytes.
  const void* end = std::memchr(source, '\0', kChannelLineMax);
  text.assign(source, end != nullptr ? static_cast<const char*>(end) : source + kChannelLineMax);
  // Only a copied slot may be given back to the writer.
  std::atomic_thread_fence(std::memory_order_release);
  header.last_read = slot;
  return true;
}

}  // namespace gandry
