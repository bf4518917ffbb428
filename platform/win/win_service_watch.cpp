#include "platform/win/win_service_watch.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/win/win_error.h"
#include "platform/win/win_text_encoding.h"

namespace gandry {

namespace {

// Waiting for the stopped state, and for any other once it is stopped: a notification fires at
// once when its mask matches the current state, so this reports each stop once whether or not
// the platform remembers what it already told this handle. Deletion is asked for either way.
constexpr DWORD kToStopped = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_DELETE_PENDING;
constexpr DWORD kFromStopped = SERVICE_NOTIFY_START_PENDING | SERVICE_NOTIFY_STOP_PENDING |
                               SERVICE_NOTIFY_RUNNING | SERVICE_NOTIFY_CONTINUE_PENDING |
                               SERVICE_NOTIFY_PAUSE_PENDING | SERVICE_NOTIFY_PAUSED |
                               SERVICE_NOTIFY_DELETE_PENDING;

// The client has fallen behind the service manager, which wants fresh handles (not in every
// SDK's headers).
constexpr DWORD kNotifyClientLagging = 1294;  // ERROR_SERVICE_NOTIFY_CLIENT_LAGGING

// How long a buffer whose subscription ended while armed is kept for a late callback. Windows
// queues none once CloseServiceHandle has returned, but Wine writes and queues from a thread of
// its own a moment later when the notification had just fired.
constexpr std::int64_t kLateCallbackGraceMs = 5000;

std::int64_t NowMs() {
  return static_cast<std::int64_t>(GetTickCount64());
}

}  // namespace

struct ServiceNotifier::Subscription {
  std::wstring name;            // to open it again
  SC_HANDLE service = nullptr;  // null once ended
  std::function<void(const ServiceNotice&)> on_event;
  Buffer* buffer = nullptr;  // null once ended
  bool dropped = false;      // its watch was destroyed on the notifier thread
};

// One of the two, from a caller's thread.
struct ServiceNotifier::Request {
  Subscription* subscribe = nullptr;
  Subscription* unsubscribe = nullptr;
  DWORD result = ERROR_SUCCESS;
  bool served = false;  // guarded by mutex_
};

class ServiceNotifier::WatchHandle final : public ServiceWatch {
 public:
  WatchHandle(ServiceNotifier& notifier, Subscription* subscription)
      : notifier_(notifier), subscription_(subscription) {}
  WatchHandle(const WatchHandle&) = delete;
  WatchHandle& operator=(const WatchHandle&) = delete;
  ~WatchHandle() override { notifier_.Unsubscribe(subscription_); }

 private:
  ServiceNotifier& notifier_;
  Subscription* const subscription_;
};

ServiceNotifier::ServiceNotifier() : ServiceNotifier(Calls{}) {}

ServiceNotifier::ServiceNotifier(Calls calls)
    : calls_(std::move(calls)),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      buffers_(kLateCallbackGraceMs) {
  if (!calls_.notify) {
    // Looked up at run time, so that the program still loads where the call is missing.
    using NotifyFunction = DWORD(WINAPI*)(SC_HANDLE, DWORD, PSERVICE_NOTIFYW);
    const auto notify = reinterpret_cast<NotifyFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "NotifyServiceStatusChangeW")));
    if (notify != nullptr) {
      calls_.notify = notify;
    }
  }
}

ServiceNotifier::~ServiceNotifier() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  if (thread_.joinable()) {
    SetEvent(wake_);
    thread_.join();
  }
  if (manager_ != nullptr) {
    CloseServiceHandle(manager_);
  }
  if (wake_ != nullptr) {
    CloseHandle(wake_);
  }
}

Result<std::unique_ptr<ServiceWatch>> ServiceNotifier::Watch(
    const std::string& name, std::function<void(const ServiceNotice&)> on_event) {
  if (!calls_.notify || wake_ == nullptr) {
    return WinError(ERROR_CALL_NOT_IMPLEMENTED);
  }
  SC_HANDLE manager;
  {
    std::lock_guard lock(mutex_);
    if (manager_ == nullptr) {
      manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
      if (manager_ == nullptr) {
        return LastError();
      }
    }
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { Run(); });
      } catch (const std::system_error&) {
        return WinError(ERROR_NOT_ENOUGH_MEMORY);
      }
    }
    manager = manager_;
  }
  const Result<std::wstring> wide_name = AnsiToWide(name);
  if (!wide_name) {
    return wide_name.error();
  }
  SC_HANDLE service = OpenServiceW(manager, wide_name->c_str(), SERVICE_QUERY_STATUS);
  if (service == nullptr) {
    return LastError();
  }
  auto subscription = std::make_unique<Subscription>();
  subscription->name = *wide_name;
  subscription->service = service;
  subscription->on_event = std::move(on_event);
  Request request;
  request.subscribe = subscription.release();  // the thread's from here on
  Post(request);
  if (request.result != ERROR_SUCCESS) {
    return WinError(request.result);
  }
  return std::unique_ptr<ServiceWatch>(std::make_unique<WatchHandle>(*this, request.subscribe));
}

void CALLBACK ServiceNotifier::OnNotify(void* parameter) {
  // Only noted here; the work is done after the wait or call it ran in.
  auto* buffer = static_cast<Buffer*>(static_cast<SERVICE_NOTIFYW*>(parameter)->pContext);
  buffer->payload.notifier->buffers_.Fired(*buffer);
}

void ServiceNotifier::Post(Request& request) {
  std::unique_lock lock(mutex_);
  requests_.push_back(&request);
  SetEvent(wake_);
  served_.wait(lock, [&] { return request.served; });
}

void ServiceNotifier::Unsubscribe(Subscription* subscription) {
  if (std::this_thread::get_id() == thread_.get_id()) {
    // From within a callback: removed once that has returned, and not called again.
    subscription->dropped = true;
    dropped_.push_back(subscription);
    return;
  }
  Request request;
  request.unsubscribe = subscription;
  Post(request);
}

void ServiceNotifier::Run() {
  for (;;) {
    // Callbacks run as APCs during this wait and inside calls to the service manager. The wait
    // is skipped while any of them waits to be handled, and ends when an orphan may be freed.
    const std::optional<std::int64_t> limit = buffers_.WaitLimitMs(NowMs());
    buffers_.WaitBegins();
    WaitForSingleObjectEx(
        wake_, limit ? static_cast<DWORD>(std::min<std::int64_t>(*limit, INFINITE - 1)) : INFINITE,
        TRUE);
    buffers_.WaitEnded(NowMs());
    while (Buffer* buffer = buffers_.Take()) {
      Deliver(*buffer);
    }
    std::deque<Request*> requests;
    bool ending;
    {
      std::lock_guard lock(mutex_);
      requests.swap(requests_);
      ending = ending_;
    }
    for (Request* request : requests) {
      Serve(*request);
    }
    for (Subscription* subscription : std::exchange(dropped_, {})) {
      Remove(subscription);
    }
    orphan_count_.store(buffers_.orphans());
    if (!requests.empty()) {
      std::lock_guard lock(mutex_);
      for (Request* request : requests) {
        request->served = true;
      }
      served_.notify_all();
    }
    if (ending) {
      break;
    }
  }
  while (!subscriptions_.empty()) {
    Remove(subscriptions_.begin()->first);
  }
}

void ServiceNotifier::Serve(Request& request) {
  if (request.unsubscribe != nullptr) {
    Remove(request.unsubscribe);
    return;
  }
  Subscription* subscription = request.subscribe;
  subscriptions_.emplace(subscription, std::unique_ptr<Subscription>(subscription));
  subscription->buffer = &buffers_.Create(*subscription);
  request.result = Arm(*subscription, kToStopped);
  if (request.result == kNotifyClientLagging) {
    request.result = Renew(*subscription, kToStopped);
  }
  if (request.result != ERROR_SUCCESS) {
    Remove(subscription);
  }
}

void ServiceNotifier::Deliver(Buffer& buffer) {
  Subscription& subscription = *buffer.owner;
  if (subscription.dropped) {
    return;
  }
  const SERVICE_NOTIFYW& notify = buffer.payload.notify;
  const DWORD status = notify.dwNotificationStatus;
  const bool stopped =
      status == ERROR_SUCCESS && notify.ServiceStatus.dwCurrentState == SERVICE_STOPPED;
  DWORD error = ERROR_SUCCESS;
  if (status == ERROR_SERVICE_MARKED_FOR_DELETE ||
      (status == ERROR_SUCCESS &&
       (notify.dwNotificationTriggered & SERVICE_NOTIFY_DELETE_PENDING) != 0)) {
    error = ERROR_SERVICE_MARKED_FOR_DELETE;
  } else if (status == kNotifyClientLagging) {
    // What happened meanwhile is lost; a service found stopped is reported at once.
    error = Renew(subscription, kToStopped);
  } else {
    const DWORD mask = stopped ? kFromStopped : kToStopped;
    error = Arm(subscription, mask);
    if (error == kNotifyClientLagging) {
      error = Renew(subscription, mask);
    }
  }
  std::vector<ServiceNotice> notices;
  if (error == ERROR_SERVICE_MARKED_FOR_DELETE) {
    notices.push_back({ServiceEvent::kDeleted});
  } else if (stopped) {
    notices.push_back({ServiceEvent::kStopped});
  }
  if (error != ERROR_SUCCESS && error != ERROR_SERVICE_MARKED_FOR_DELETE) {
    notices.push_back({ServiceEvent::kWatchFailed, error});
  }
  if (error != ERROR_SUCCESS) {
    // Nothing more can be learnt about this service.
    End(subscription);
  }
  for (const ServiceNotice& notice : notices) {
    try {
      subscription.on_event(notice);
    } catch (...) {
      // Not to end the thread that serves every other watch.
    }
  }
}

DWORD ServiceNotifier::Arm(Subscription& subscription, DWORD mask) {
  Buffer& buffer = *subscription.buffer;
  buffer.payload.notify = {};
  buffer.payload.notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
  buffer.payload.notify.pfnNotifyCallback = &OnNotify;
  buffer.payload.notify.pContext = &buffer;
  buffer.payload.notifier = this;
  // Before the call: its callback may run inside it.
  buffers_.Arming(buffer);
  const DWORD error = calls_.notify(subscription.service, mask, &buffer.payload.notify);
  if (error != ERROR_SUCCESS) {
    buffers_.ArmFailed(buffer);
  }
  return error;
}

DWORD ServiceNotifier::Renew(Subscription& subscription, DWORD mask) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    return GetLastError();
  }
  SC_HANDLE service = OpenServiceW(manager, subscription.name.c_str(), SERVICE_QUERY_STATUS);
  const DWORD error = service == nullptr ? GetLastError() : ERROR_SUCCESS;
  CloseServiceHandle(manager);
  if (service == nullptr) {
    return error;
  }
  // The old handle's notification is over (the buffer is idle), so the buffer goes on with the
  // new one.
  calls_.close(subscription.service);
  subscription.service = service;
  return Arm(subscription, mask);
}

void ServiceNotifier::End(Subscription& subscription) {
  if (subscription.service == nullptr) {
    return;
  }
  calls_.close(subscription.service);
  subscription.service = nullptr;
  buffers_.Release(*subscription.buffer, NowMs());
  subscription.buffer = nullptr;
}

void ServiceNotifier::Remove(Subscription* subscription) {
  End(*subscription);
  subscriptions_.erase(subscription);
}

}  // namespace gandry
