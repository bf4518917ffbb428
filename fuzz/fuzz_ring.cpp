// The ring's append and take over a view whose header and slots start as arbitrary bytes (as a
// damaged or hostile peer could leave them), and over a clean view against a model of the
// protocol.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ring.h"
#include "fuzz_support.h"

namespace {

using gandry::kChannelLineMax;
using gandry::kChannelSize;
using gandry::kChannelSlotCount;
using gandry::fuzz::Check;
using gandry::fuzz::FuzzInput;

// One heap block of exactly the view's size, so the address sanitizer flags any access past it;
// kept across inputs and cleared for each, which is much faster than a fresh block.
std::byte* NewView() {
  static const std::unique_ptr<std::byte[]> view = std::make_unique<std::byte[]>(kChannelSize);
  std::memset(view.get(), 0, kChannelSize);
  return view.get();
}

std::int32_t ReadIndex(const std::byte* view, std::size_t offset) {
  std::int32_t value;
  std::memcpy(&value, view + offset, sizeof value);
  return value;
}

void CheckTaken(const std::string& text) {
  Check(text.size() <= kChannelLineMax, "a take yields at most 250 bytes");
  Check(text.find('\0') == std::string::npos, "a take stops at the slot's NUL");
}

void CheckHeader(const std::byte* view) {
  for (std::size_t offset : {std::size_t{1}, std::size_t{5}}) {
    const std::int32_t index = ReadIndex(view, offset);
    Check(index >= -1 && index < kChannelSlotCount, "the ring leaves valid indices behind");
  }
}

// What a slot gives back of an appended text.
std::string Stored(std::string_view text) {
  text = text.substr(0, kChannelLineMax);
  return std::string(text.substr(0, text.find('\0')));
}

// A text made of input bytes, up to 511 of them.
std::string TextFrom(FuzzInput& in) {
  const std::size_t length = in.Byte() + (in.Byte() & 1) * 256u;
  return std::string(in.Bytes(length));
}

// Header and slots from the input: the header bytes as given, every slot byte from a repeated
// pattern (so slots may lack their NUL), then appends, takes and further damage to the header.
void FuzzDamagedRing(FuzzInput& in) {
  std::byte* const view = NewView();
  const std::string_view header = in.Bytes(gandry::kChannelHeaderSize);
  std::memcpy(view, header.data(), header.size());
  std::string_view pattern = in.Bytes(in.Byte() % 64);
  if (pattern.empty()) {
    pattern = "A";
  }
  for (std::size_t at = gandry::kChannelHeaderSize; at < kChannelSize; at += pattern.size()) {
    std::memcpy(view + at, pattern.data(), std::min(pattern.size(), kChannelSize - at));
  }
  gandry::RingInitialise(view);

  std::string last_appended;
  bool appended = false;
  while (!in.empty()) {
    switch (in.Byte() % 4) {
      case 0: {
        const std::string text = TextFrom(in);
        gandry::RingAppend(view, text);
        CheckHeader(view);
        last_appended = Stored(text);
        appended = true;
        break;
      }
      case 1: {
        std::string text;
        gandry::RingTake(view, text);
        CheckTaken(text);
        CheckHeader(view);
        appended = false;
        break;
      }
      case 2: {
        // Draining ends within one round of the ring, with the newest line last.
        std::string text;
        std::string last;
        int takes = 0;
        while (gandry::RingTake(view, text)) {
          CheckTaken(text);
          last = text;
          Check(++takes <= kChannelSlotCount, "draining ends");
        }
        CheckHeader(view);
        Check(!appended || (takes > 0 && last == last_appended), "the newest line is taken last");
        appended = false;
        break;
      }
      default: {
        // The peer scribbles over the header.
        const std::size_t offset = in.Byte() % gandry::kChannelHeaderSize;
        const std::string_view bytes = in.Bytes(4);
        std::memcpy(view + offset, bytes.data(),
                    std::min(bytes.size(), gandry::kChannelHeaderSize - offset));
        appended = false;
        break;
      }
    }
  }
}

// The protocol on plain indices, holding the number of the line in each slot.
struct RingModel {
  int written = -1;
  int read = -1;
  std::array<int, kChannelSlotCount> line{};

  void Append(int number) {
    const int slot = gandry::RingNext(written);
    if (slot == read) {
      read = gandry::RingNext(read);
    } else if (read == -1 && slot == 0 && written != -1) {
      read = 1;
    }
    line[static_cast<std::size_t>(slot)] = number;
    written = slot;
  }
  // The number of the line a take yields, or -1 when the ring is empty.
  int Take() {
    if (read == written) {
      return -1;
    }
    read = gandry::RingNext(read);
    return line[static_cast<std::size_t>(read)];
  }
};

// A clean ring: every take yields exactly the line the protocol says, numbered and intact.
void FuzzCleanRing(FuzzInput& in) {
  std::byte* const view = NewView();
  gandry::RingInitialise(view);
  RingModel model;
  std::vector<std::string> texts;
  auto append = [&](std::string_view body) {
    const int number = static_cast<int>(texts.size());
    const std::string text = "#" + std::to_string(number) + "|" + std::string(body);
    gandry::RingAppend(view, text);
    model.Append(number);
    texts.push_back(Stored(text));
  };
  auto take = [&] {
    std::string text;
    const bool taken = gandry::RingTake(view, text);
    const int expected = model.Take();
    Check(taken == (expected >= 0), "a take succeeds exactly when lines are unread");
    Check(!taken || text == texts[static_cast<std::size_t>(expected)],
          "a take yields the line the protocol says");
  };
  // Enough for several rounds of the ring, and still quick per input.
  int burst_budget = 4 * kChannelSlotCount;
  auto burst = [&](int wanted) {
    const int count = std::min(wanted, burst_budget);
    burst_budget -= count;
    return count;
  };
  while (!in.empty()) {
    switch (in.Byte() % 4) {
      case 0:
        append(TextFrom(in));
        break;
      case 1:
        take();
        break;
      case 2:
        // Bursts reach the overrun cases in few input bytes.
        for (int n = burst(in.Byte() * 4); n > 0; --n) {
          append("burst");
        }
        break;
      default:
        for (int n = burst(in.Byte() * 4); n > 0; --n) {
          take();
        }
        break;
    }
    CheckHeader(view);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  if (in.Byte() & 1) {
    FuzzCleanRing(in);
  } else {
    FuzzDamagedRing(in);
  }
  return 0;
}
