#include "platform/notify_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace gandry {
namespace {

struct Owner {};
using Buffers = NotifyBuffers<std::uint64_t, Owner>;
using Buffer = Buffers::Buffer;

constexpr std::int64_t kGraceMs = 500;

// The system's side, as loose as the platforms allow: it writes into a buffer when its
// notification fires, then queues the callback for the thread's next alertable moment. After
// a close it fires nothing more, except that a notification that had fired may still be written
// and queued a while later, as Wine does. Writing to a freed buffer is what AddressSanitizer
// catches.
class System {
 public:
  explicit System(const std::int64_t& now) : now_(now) {}
  void Armed(Buffer& buffer) { armed_.push_back(&buffer); }
  bool IsArmed(Buffer& buffer) const {
    return std::find(armed_.begin(), armed_.end(), &buffer) != armed_.end();
  }
  void Fire(Buffer& buffer) {
    std::erase(armed_, &buffer);
    buffer.payload = ++writes_;
    queued_.push_back(&buffer);
  }
  // `late_ms`: when above 0, the notification had fired and comes that much later.
  void Close(Buffer& buffer, std::int64_t late_ms) {
    if (IsArmed(buffer)) {
      std::erase(armed_, &buffer);
      if (late_ms > 0) {
        late_.push_back({&buffer, now_ + late_ms});
      }
    }
  }
  // An alertable moment of the thread: every queued callback runs.
  void Alert(Buffers& buffers) {
    std::erase_if(late_, [&](const Late& late) {
      if (now_ < late.due_ms) {
        return false;
      }
      late.buffer->payload = ++writes_;
      queued_.push_back(late.buffer);
      return true;
    });
    for (Buffer* buffer : std::exchange(queued_, {})) {
      buffers.Fired(*buffer);
    }
  }

 private:
  struct Late {
    Buffer* buffer;
    std::int64_t due_ms;
  };
  const std::int64_t& now_;
  std::vector<Buffer*> armed_;
  std::vector<Buffer*> queued_;
  std::vector<Late> late_;
  std::uint64_t writes_ = 0;
};

// Ten thousand subscriptions come and go while their services stop, with callbacks running
// inside the calls that arm and close, as on Windows. Only buffers of subscriptions still there
// are handed over; nothing touches a freed buffer; and once every subscription has gone,
// nothing is left.
TEST(NotifyBuffers, SubscribeAndUnsubscribeChurnFreesEveryBufferAndNoneTooEarly) {
  Buffers buffers(kGraceMs);
  std::int64_t now = 0;
  System system(now);
  std::mt19937 random(21);
  const auto chance = [&random](int one_in) { return random() % one_in == 0; };
  std::vector<Owner> owners(16);
  std::vector<Buffer*> live(owners.size(), nullptr);
  int handed_over = 0;
  int ended = 0;

  // Each call to the service manager takes a moment.
  const auto arm = [&](Buffer& buffer) {
    ++now;
    buffers.Arming(buffer);
    if (chance(10)) {
      buffers.ArmFailed(buffer);
      return false;
    }
    system.Armed(buffer);
    if (chance(4)) {
      system.Fire(buffer);  // the state matched already
    }
    if (chance(2)) {
      system.Alert(buffers);
    }
    return true;
  };
  const auto end = [&](std::size_t i) {
    ++now;
    system.Close(*live[i], chance(5) ? 1 + random() % (kGraceMs / 2) : 0);
    if (chance(2)) {
      system.Alert(buffers);
    }
    buffers.Release(*live[i], now);
    live[i] = nullptr;
    ++ended;
  };
  const auto pass = [&] {
    const auto limit = buffers.WaitLimitMs(now);
    // The callbacks queued while it lasts run in it.
    buffers.WaitBegins();
    now += limit.value_or(7);
    system.Alert(buffers);
    buffers.WaitEnded(now);
    while (Buffer* buffer = buffers.Take()) {
      const auto i = static_cast<std::size_t>(buffer->owner - owners.data());
      ASSERT_EQ(live[i], buffer);
      ++handed_over;
      if (!arm(*buffer)) {
        end(i);
      }
    }
  };

  while (ended < 10'000) {
    const std::size_t i = random() % owners.size();
    if (live[i] == nullptr) {
      live[i] = &buffers.Create(owners[i]);
      if (!arm(*live[i])) {
        end(i);
      }
    } else {
      end(i);
    }
    // A service stops.
    const std::size_t j = random() % owners.size();
    if (live[j] != nullptr && system.IsArmed(*live[j]) && chance(3)) {
      system.Fire(*live[j]);
    }
    if (chance(3)) {
      pass();
    }
  }
  for (std::size_t i = 0; i < live.size(); ++i) {
    if (live[i] != nullptr) {
      end(i);
    }
  }
  for (int i = 0; i < 100 && buffers.WaitLimitMs(now); ++i) {
    pass();
  }
  EXPECT_GT(handed_over, 1000);
  EXPECT_EQ(buffers.orphans(), 0u);
  EXPECT_EQ(buffers.size(), 0u);
}

}  // namespace
}  // namespace gandry
