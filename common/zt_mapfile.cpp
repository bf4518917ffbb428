#include "common/zt_mapfile.h"

#include "common/ring.h"

namespace gandry {

bool MessageChannel::open() {
  std::lock_guard lock(mutex_);
  if (view_ == nullptr) {
    view_ = memory_.Open(kChannelName, kChannelSize);
    if (view_ != nullptr) {
      RingInitialise(view_);
    }
  }
  return view_ != nullptr;
}

bool MessageChannel::append(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (view_ == nullptr) {
    return false;
  }
  RingAppend(view_, text);
  return true;
}

bool MessageChannel::take(std::string& text) {
  std::lock_guard lock(mutex_);
  return view_ != nullptr && RingTake(view_, text);
}

void MessageChannel::close() {
  std::lock_guard lock(mutex_);
  // Also releases a section that was obtained without a view.
  memory_.Close();
  view_ = nullptr;
}

}  // namespace gandry
