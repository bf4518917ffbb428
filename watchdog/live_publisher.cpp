#include "watchdog/live_publisher.h"

#include <utility>

#include "common/live_section.h"

namespace gandry {

namespace {

constexpr std::size_t kPublisherStackReservation = std::size_t{64} * 1024;

}  // namespace

LivePublisher::LivePublisher(Clock& clock, Threads& threads, LiveBoard& board, SharedMemory& memory,
                             std::uint32_t pid)
    : clock_(clock), threads_(threads), board_(board), memory_(memory), pid_(pid) {}

void LivePublisher::Start() {
  std::byte* view = memory_.PublishGlobal(kLiveSectionName, kLiveSectionSize);
  if (view == nullptr) {
    memory_.Close();
    return;
  }
  view_ = {view, kLiveSectionSize};
  started_ = clock_.UnixTimeMs() / 1000;
  board_.Notify(changed_);
  Write(false);
  Result<std::unique_ptr<Thread>> thread =
      threads_.Create([this] { Follow(); }, kPublisherStackReservation);
  if (!thread) {
    board_.StopNotifying(changed_);
    memory_.Close();
    view_ = {};
    return;
  }
  thread_ = std::move(*thread);
  thread_->Run();
}

void LivePublisher::Stop() {
  if (view_.empty()) {
    return;
  }
  stop_.Raise();
  changed_.Raise();
  if (thread_ != nullptr) {
    thread_->Join();
    thread_.reset();
  }
  board_.StopNotifying(changed_);
  Write(true);
  // The section stays until the process ends, so a reader that comes meanwhile sees it ended.
  view_ = {};
}

void LivePublisher::Follow() {
  for (;;) {
    clock_.SleepUntil(changed_);
    if (stop_.IsRaised()) {
      return;
    }
    // Lowered before the board is read: a change from here on is seen on the next round.
    changed_.Lower();
    Write(false);
    if (clock_.Sleep(kLiveWriteSpacing, &stop_)) {
      return;
    }
  }
}

void LivePublisher::Write(bool ended) {
  LiveStatus status;
  status.pid = pid_;
  status.started = started_;
  status.reloads = board_.reloads();
  status.ended = ended;
  status.items = board_.Snapshot();
  status.watched = static_cast<std::uint32_t>(status.items.size());
  EncodeLiveStatus(status, view_);
}

}  // namespace gandry
