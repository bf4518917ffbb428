#include "platform/win/win_service_watch.h"

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

}  // namespace

// A notification buffer. The service manager may write to it and queue its callback until that
// callback has come: Wine still does both after CloseServiceHandle when the notification had
// fired. So a buffer whose callback is due outlives its subscription.
struct ServiceNotifier::Buffer {
  SERVICE_NOTIFYW notify{};
  ServiceNotifier* notifier = nullptr;
  Subscription* subscription = nullptr;  // null once orphaned
  bool due = false;                      // armed, callback not yet come
};

struct ServiceNotifier::Subscription {
  SC_HANDLE service = nullptr;  // null once ended
  std::function<void(const ServiceNotice&)> on_event;
  std::unique_ptr<Buffer> buffer = std::make_unique<Buffer>();
  bool dropped = false;  // its watch was destroyed on the notifier thread
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
    : calls_(std::move(calls)), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
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
  // A buffer whose callback had not come may still be written to by the service manager; with
  // the thread gone nothing tells when that is over, so it is left allocated.
  for (auto& [key, buffer] : orphans_) {
    static_cast<void>(buffer.release());
  }
}

Result<std::unique_ptr<ServiceWatch>> ServiceNotifier::Watch(
    const std::string& name, std::function<void(const ServiceNotice&)> on_event) {
  if (!calls_.notify || wake_ == nullptr) {
    return SystemError{ERROR_CALL_NOT_IMPLEMENTED};
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
        return SystemError{ERROR_NOT_ENOUGH_MEMORY};
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
  subscription->service = service;
  subscription->on_event = std::move(on_event);
  Request request;
  request.subscribe = subscription.release();  // the thread's from here on
  Post(request);
  if (request.result != ERROR_SUCCESS) {
    return SystemError{request.result};
  }
  return std::unique_ptr<ServiceWatch>(std::make_unique<WatchHandle>(*this, request.subscribe));
}

void CALLBACK ServiceNotifier::OnNotify(void* parameter) {
  // Only noted here; the work is done after the wait, where no other callback can cut in.
  auto* buffer = static_cast<Buffer*>(static_cast<SERVICE_NOTIFYW*>(parameter)->pContext);
  buffer->due = false;
  buffer->notifier->fired_.push_back(buffer);
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
    // The callbacks run as APCs during this wait.
    WaitForSingleObjectEx(wake_, INFINITE, TRUE);
    for (Buffer* buffer : std::exchange(fired_, {})) {
      Deliver(buffer);
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
    orphan_count_.store(orphans_.size());
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
  request.result = Arm(*subscription, kToStopped);
  if (request.result != ERROR_SUCCESS) {
    Remove(subscription);
  }
}

void ServiceNotifier::Deliver(Buffer* buffer) {
  Subscription* subscription = buffer->subscription;
  if (subscription == nullptr) {
    orphans_.erase(buffer);
    return;
  }
  if (subscription->dropped || subscription->service == nullptr) {
    return;
  }
  const SERVICE_NOTIFYW& notify = buffer->notify;
  const DWORD status = notify.dwNotificationStatus;
  std::optional<ServiceEvent> event;
  if (status == ERROR_SERVICE_MARKED_FOR_DELETE ||
      (status == ERROR_SUCCESS &&
       (notify.dwNotificationTriggered & SERVICE_NOTIFY_DELETE_PENDING) != 0)) {
    End(*subscription);
    event = ServiceEvent::kDeleted;
  } else {
    const bool stopped =
        status == ERROR_SUCCESS && notify.ServiceStatus.dwCurrentState == SERVICE_STOPPED;
    const DWORD error = Arm(*subscription, stopped ? kFromStopped : kToStopped);
    if (error == ERROR_SERVICE_MARKED_FOR_DELETE) {
      event = ServiceEvent::kDeleted;
    } else if (stopped) {
      event = ServiceEvent::kStopped;
    }
    if (error != ERROR_SUCCESS) {
      // Nothing more can be learnt about this service.
      End(*subscription);
    }
  }
  if (event) {
    try {
      subscription->on_event({*event});
    } catch (...) {
      // Not to end the thread that serves every other watch.
    }
  }
}

DWORD ServiceNotifier::Arm(Subscription& subscription, DWORD mask) {
  Buffer& buffer = *subscription.buffer;
  buffer.notify = {};
  buffer.notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
  buffer.notify.pfnNotifyCallback = &OnNotify;
  buffer.notify.pContext = &buffer;
  buffer.notifier = this;
  buffer.subscription = &subscription;
  const DWORD error = calls_.notify(subscription.service, mask, &buffer.notify);
  buffer.due = error == ERROR_SUCCESS;
  return error;
}

void ServiceNotifier::End(Subscription& subscription) {
  if (subscription.service == nullptr) {
    return;
  }
  calls_.close(subscription.service);
  subscription.service = nullptr;
  if (subscription.buffer->due) {
    subscription.buffer->subscription = nullptr;
    Buffer* key = subscription.buffer.get();
    orphans_.emplace(key, std::move(subscription.buffer));
    subscription.buffer = std::make_unique<Buffer>();
  }
}

void ServiceNotifier::Remove(Subscription* subscription) {
  End(*subscription);
  subscriptions_.erase(subscription);
}

}  // namespace gandry
