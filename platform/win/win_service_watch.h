#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/notify_buffers.h"
#include "platform/service_manager.h"

namespace gandry {

// Service watches of one manager, all served by a single thread of their own: the service
// manager delivers a notification as an APC to the thread that asked for it, so that thread
// has to wait alertably and do all the asking. Started by the first watch. Its buffers are kept
// by the rules of NotifyBuffers: callbacks may also run inside its calls to the service manager.
class ServiceNotifier {
 public:
  // The calls to the service manager that the notifier makes between its waits. On Windows both
  // may wait alertably, so that callbacks run inside them; tests wrap them to make that happen.
  struct Calls {
    std::function<DWORD(SC_HANDLE, DWORD, SERVICE_NOTIFYW*)> notify;  // empty: the system's
    std::function<BOOL(SC_HANDLE)> close = &CloseServiceHandle;
  };

  ServiceNotifier();
  explicit ServiceNotifier(Calls calls);
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;
  // Every watch must have been destroyed before.
  ~ServiceNotifier();

  Result<std::unique_ptr<ServiceWatch>> Watch(const std::string& name,
                                              std::function<void(const ServiceNotice&)> on_event);

  // Buffers kept after their subscription ended, as of the notifier's last pass.
  std::size_t orphans() const { return orphan_count_.load(); }

 private:
  struct Subscription;
  struct Request;
  class WatchHandle;
  struct Payload {
    SERVICE_NOTIFYW notify;
    ServiceNotifier* notifier;
  };
  using Buffers = NotifyBuffers<Payload, Subscription>;
  using Buffer = Buffers::Buffer;

  static void CALLBACK OnNotify(void* parameter);

  // Hands `request` to the thread and waits until it has been carried out.
  void Post(Request& request);
  void Unsubscribe(Subscription* subscription);
  void Run();
  // The rest runs on the notifier thread only.
  void Serve(Request& request);
  void Deliver(Buffer& buffer);
  DWORD Arm(Subscription& subscription, DWORD mask);
  // Arms again on fresh handles, as the service manager asks of a client that lags behind.
  DWORD Renew(Subscription& subscription, DWORD mask);
  void End(Subscription& subscription);
  void Remove(Subscription* subscription);

  Calls calls_;
  HANDLE wake_;  // auto-reset; raised for each request

  std::mutex mutex_;
  std::condition_variable served_;
  SC_HANDLE manager_ = nullptr;  // opened by the first watch
  std::thread thread_;           // started by the first watch
  std::deque<Request*> requests_;
  bool ending_ = false;

  // The notifier thread's own.
  std::map<Subscription*, std::unique_ptr<Subscription>> subscriptions_;
  Buffers buffers_;
  std::vector<Subscription*> dropped_;
  std::atomic<std::size_t> orphan_count_{0};
};

}  // namespace gandry
