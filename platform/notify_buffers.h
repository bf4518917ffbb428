#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace gandry {

// The buffers that one thread hands to the system for status notifications, and when each may
// be freed. Not a facility of its own: the Win32 service notifier keeps its buffers here, and
// the rules live apart from the Win32 calls so that they are tested natively.
//
// What the system may do: from the moment the call that arms a buffer begins, write to it and
// queue its callback. The callback runs at the thread's next alertable moment, which may be its
// own wait or the inside of any later call to the service manager. Once the handle is closed
// nothing more is queued on Windows, but what was queued still runs at the next alertable
// moment; Wine may still write and queue a moment after the close when the notification had
// fired.
//
// So a buffer is marked armed before the call that arms it; a callback moves it to the queue,
// where it stays until taken, even when its owner has let go of it meanwhile; and a buffer let go
// of while armed is kept until its callback has come, or until an alertable wait that began
// after it was let go has ended and `grace_ms` have passed since.
//
// Not thread-safe: every call comes from the thread that arms the buffers and runs their
// callbacks.
template <typename Payload, typename Owner>
class NotifyBuffers {
 public:
  struct Buffer {
    Payload payload{};
    Owner* owner = nullptr;  // null once let go of

   private:
    friend class NotifyBuffers;
    enum class State : std::uint8_t { kIdle, kArmed, kQueued };
    State state = State::kIdle;
    std::uint64_t waits_at_release = 0;
    std::int64_t released_ms = 0;
  };

  explicit NotifyBuffers(std::int64_t grace_ms) : grace_ms_(grace_ms) {}
  NotifyBuffers(const NotifyBuffers&) = delete;
  NotifyBuffers& operator=(const NotifyBuffers&) = delete;
  // A buffer still armed may be written to after the thread has gone, so it is left allocated.
  ~NotifyBuffers() {
    for (auto& [key, buffer] : all_) {
      if (buffer->state == Buffer::State::kArmed) {
        static_cast<void>(buffer.release());
      }
    }
  }

  Buffer& Create(Owner& owner) {
    auto buffer = std::make_unique<Buffer>();
    buffer->owner = &owner;
    Buffer& created = *buffer;
    all_.emplace(&created, std::move(buffer));
    return created;
  }

  // Before the call that arms `buffer`: its callback may run inside that call.
  void Arming(Buffer& buffer) { buffer.state = Buffer::State::kArmed; }
  // The call failed: it armed nothing.
  void ArmFailed(Buffer& buffer) {
    if (buffer.state == Buffer::State::kArmed) {
      buffer.state = Buffer::State::kIdle;
    }
  }

  // From the buffer's callback.
  void Fired(Buffer& buffer) {
    if (buffer.state != Buffer::State::kArmed) {
      return;
    }
    buffer.state = Buffer::State::kQueued;
    queue_.push_back(&buffer);
    if (buffer.owner == nullptr) {
      std::erase(orphans_, &buffer);  // freed when taken
    }
  }
  bool queued() const { return !queue_.empty(); }
  // The next buffer whose callback came and whose owner still holds it; null when there is none.
  // The buffer is idle afterwards. Buffers let go of meanwhile are freed on the way.
  Buffer* Take() {
    while (!queue_.empty()) {
      Buffer* buffer = queue_.front();
      queue_.pop_front();
      buffer->state = Buffer::State::kIdle;
      if (buffer->owner != nullptr) {
        return buffer;
      }
      all_.erase(buffer);
    }
    return nullptr;
  }

  // The owner is done with `buffer` (its handle is closed): freed at once when idle, otherwise
  // once no callback for it can come any more.
  void Release(Buffer& buffer, std::int64_t now_ms) {
    buffer.owner = nullptr;
    if (buffer.state == Buffer::State::kIdle) {
      all_.erase(&buffer);
    } else if (buffer.state == Buffer::State::kArmed) {
      buffer.waits_at_release = waits_begun_;
      buffer.released_ms = now_ms;
      orphans_.push_back(&buffer);
    }
  }

  // Around each alertable wait of the thread: every callback queued before it began has run
  // when it ends.
  void WaitBegins() { ++waits_begun_; }
  void WaitEnded(std::int64_t now_ms) {
    std::erase_if(orphans_, [&](Buffer* buffer) {
      if (buffer->waits_at_release < waits_begun_ && now_ms - buffer->released_ms >= grace_ms_) {
        all_.erase(buffer);
        return true;
      }
      return false;
    });
  }

  // How long the next wait may last: not at all while callbacks wait to be taken, until the
  // next orphan may be freed, or without limit (nullopt).
  std::optional<std::int64_t> WaitLimitMs(std::int64_t now_ms) const {
    if (!queue_.empty()) {
      return 0;
    }
    std::optional<std::int64_t> limit;
    for (const Buffer* buffer : orphans_) {
      const std::int64_t left = std::max<std::int64_t>(buffer->released_ms + grace_ms_ - now_ms, 0);
      limit = std::min(limit.value_or(left), left);
    }
    return limit;
  }

  // Buffers let go of and still kept.
  std::size_t orphans() const {
    return static_cast<std::size_t>(std::count_if(all_.begin(), all_.end(), [](const auto& entry) {
      return entry.second->owner == nullptr;
    }));
  }
  // Every buffer still allocated.
  std::size_t size() const { return all_.size(); }

 private:
  const std::int64_t grace_ms_;
  std::map<Buffer*, std::unique_ptr<Buffer>> all_;
  std::deque<Buffer*> queue_;
  std::vector<Buffer*> orphans_;  // let go of while armed, callback not come
  std::uint64_t waits_begun_ = 0;
};

}  // namespace gandry
