#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/win_service_watch.h"
#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/registered_service.h"

namespace gandry {
namespace {

constexpr std::chrono::seconds kWaitLimit{20};
constexpr DWORD kNotifyClientLagging = 1294;  // ERROR_SERVICE_NOTIFY_CLIENT_LAGGING

// What watches reported, in order.
class Notices {
 public:
  std::function<void(const ServiceNotice&)> Sink() {
    return [this](const ServiceNotice& notice) {
      std::lock_guard lock(mutex_);
      notices_.push_back(notice);
      changed_.notify_all();
    };
  }
  // Waits until `count` notices of `event` have come.
  bool WaitFor(ServiceEvent event, int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWaitLimit, [&] {
      return std::count_if(notices_.begin(), notices_.end(), [&](const ServiceNotice& notice) {
               return notice.event == event;
             }) >= count;
    });
  }
  std::vector<ServiceNotice> All() {
    std::lock_guard lock(mutex_);
    return notices_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ServiceNotice> notices_;
};

// The notifier's calls to the service manager as Windows may carry them out: each ends in an
// alertable moment, so that callbacks queued meanwhile run inside the call rather than in the
// notifier's own wait. Records the handles it is given; the next calls can be scripted.
class AlertableCalls {
 public:
  // What the next arming call does instead of arming.
  enum class Next : std::uint8_t {
    kArm,
    kLagging,  // arms nothing; the notification comes at once, with status 1294
    kFail,     // fails with `error`
  };

  explicit AlertableCalls(DWORD settle_ms = 0) : settle_ms_(settle_ms) {}

  ServiceNotifier::Calls Make() {
    ServiceNotifier::Calls calls;
    calls.notify = [this](SC_HANDLE service, DWORD mask, SERVICE_NOTIFYW* buffer) {
      std::pair<Next, DWORD> next{Next::kArm, 0};
      {
        std::lock_guard lock(mutex_);
        armed_.push_back(service);
        if (!script_.empty()) {
          next = script_.front();
          script_.pop_front();
        }
      }
      DWORD result = next.second;
      if (next.first == Next::kArm) {
        result = NotifyServiceStatusChangeW(service, mask, buffer);
      } else if (next.first == Next::kLagging) {
        buffer->dwNotificationStatus = kNotifyClientLagging;
        QueueUserAPC(
            reinterpret_cast<PAPCFUNC>(reinterpret_cast<void (*)()>(buffer->pfnNotifyCallback)),
            GetCurrentThread(), reinterpret_cast<ULONG_PTR>(buffer));
        result = ERROR_SUCCESS;
      }
      Alertable();
      return result;
    };
    calls.close = [this](SC_HANDLE service) {
      std::function<void()> inside;
      {
        std::lock_guard lock(mutex_);
        closed_.push_back(service);
        inside = std::exchange(inside_next_close_, {});
      }
      if (inside) {
        inside();
      }
      const BOOL closed = CloseServiceHandle(service);
      Alertable();
      return closed;
    };
    return calls;
  }

  void Script(Next next, DWORD error = 0) {
    std::lock_guard lock(mutex_);
    script_.emplace_back(next, error);
  }
  // Runs `action` on the notifier's thread at the start of its next close.
  void InsideNextClose(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    inside_next_close_ = std::move(action);
  }
  std::vector<SC_HANDLE> armed() {
    std::lock_guard lock(mutex_);
    return armed_;
  }
  std::vector<SC_HANDLE> closed() {
    std::lock_guard lock(mutex_);
    return closed_;
  }

 private:
  // Wine queues a callback from a thread of its own a moment after the state changed.
  void Alertable() const {
    if (settle_ms_ > 0) {
      Sleep(settle_ms_);
    }
    SleepEx(0, TRUE);
  }

  const DWORD settle_ms_;
  std::mutex mutex_;
  std::deque<std::pair<Next, DWORD>> script_;
  std::function<void()> inside_next_close_;
  std::vector<SC_HANDLE> armed_;
  std::vector<SC_HANDLE> closed_;
};

rig::RegisteredService RegisterTestService() {
  return rig::RegisteredService(rig::UniqueName("gandry-notify"), rig::TestServiceCommand());
}

// A stop seen inside a call must not wait for some later, unrelated event of the notifier.
TEST(ServiceNotifier, CallbacksThatRunInsideItsCallsAreDeliveredAtOnce) {
  rig::RegisteredService stopped = RegisterTestService();
  rig::RegisteredService watched = RegisterTestService();
  rig::RegisteredService other = RegisterTestService();
  ASSERT_TRUE(stopped.registered() && watched.registered() && other.registered());
  ASSERT_TRUE(watched.StartRunning() && other.StartRunning());
  AlertableCalls calls(200);
  ServiceNotifier notifier(calls.Make());

  // Stopped as the watch begins: the notification fires inside the arming call.
  Notices at_once;
  auto first = notifier.Watch(stopped.name(), at_once.Sink());
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(at_once.WaitFor(ServiceEvent::kStopped, 1));

  // A stop whose callback runs inside the close of another watch.
  Notices notices;
  auto watch = notifier.Watch(watched.name(), notices.Sink());
  Notices unheard;
  auto closing = notifier.Watch(other.name(), unheard.Sink());
  ASSERT_TRUE(watch.ok() && closing.ok());
  calls.InsideNextClose(
      [&watched] { EXPECT_TRUE(watched.Stop() && watched.WaitForState(SERVICE_STOPPED, 10'000)); });
  closing->reset();
  EXPECT_TRUE(notices.WaitFor(ServiceEvent::kStopped, 1));
}

TEST(ServiceNotifier, ALaggingWatchGoesOnWithFreshHandlesAndAFailedOneSaysWhy) {
  rig::RegisteredService watched = RegisterTestService();
  ASSERT_TRUE(watched.registered() && watched.StartRunning());
  AlertableCalls calls;
  ServiceNotifier notifier(calls.Make());

  // The first arming is answered with "lagging"; the one after the stop is refused.
  calls.Script(AlertableCalls::Next::kLagging);
  calls.Script(AlertableCalls::Next::kArm);
  calls.Script(AlertableCalls::Next::kFail, ERROR_NOT_ENOUGH_MEMORY);
  Notices notices;
  auto watch = notifier.Watch(watched.name(), notices.Sink());
  ASSERT_TRUE(watch.ok());
  ASSERT_TRUE(watched.Stop());
  ASSERT_TRUE(notices.WaitFor(ServiceEvent::kWatchFailed, 1));

  const auto all = notices.All();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].event, ServiceEvent::kStopped);
  EXPECT_EQ(all[1].error, static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
  const auto armed = calls.armed();
  ASSERT_EQ(armed.size(), 3u);
  EXPECT_NE(armed[1], armed[0]) << "after 1294 the watch must go on with fresh handles";
  EXPECT_EQ(armed[2], armed[1]);
  const auto closed = calls.closed();
  EXPECT_NE(std::find(closed.begin(), closed.end(), armed[0]), closed.end());
}

TEST(ServiceNotifier, EndedWatchesLeaveNoBufferBehind) {
  rig::RegisteredService watched = RegisterTestService();
  ASSERT_TRUE(watched.registered() && watched.StartRunning());
  AlertableCalls calls;
  ServiceNotifier notifier(calls.Make());
  Notices notices;
  constexpr int kCycles = 1000;
  for (int i = 0; i < kCycles; ++i) {
    ASSERT_TRUE(notifier.Watch(watched.name(), notices.Sink()).ok());
  }
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (notifier.orphans() > 0 && std::chrono::steady_clock::now() < deadline) {
    Sleep(100);
  }
  EXPECT_EQ(notifier.orphans(), 0u);
}

}  // namespace
}  // namespace gandry
