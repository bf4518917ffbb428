#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/service_manager.h"

namespace gandry {

// Service watches of one manager, all served by a single thread of their own: the service
// manager delivers a notification as an APC to the thread that asked for it, so that thread
// has to wait alertably and do all the asking. Started by the first watch.
class ServiceNotifier {
 public:
  ServiceNotifier();
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;
  // Every watch must have been destroyed before.
  ~ServiceNotifier();

  Result<std::unique_ptr<ServiceWatch>> Watch(const std::string& name,
                                              std::function<void(const ServiceNotice&)> on_event);

 private:
  struct Subscription;
  struct Buffer;
  struct Request;
  class WatchHandle;
  using NotifyFunction = DWORD(WINAPI*)(SC_HANDLE, DWORD, PSERVICE_NOTIFYW);

  static void CALLBACK OnNotify(void* parameter);

  // Hands `request` to the thread and waits until it has been carried out.
  void Post(Request& request);
  void Unsubscribe(Subscription* subscription);
  void Run();
  // The rest runs on the notifier thread only.
  void Serve(Request& request);
  void Deliver(Buffer* buffer);
  DWORD Arm(Subscription& subscription, DWORD mask);
  void End(Subscription& subscription);
  void Remove(Subscription* subscription);

  const NotifyFunction notify_;
  HANDLE wake_;  // auto-reset; raised for each request

  std::mutex mutex_;
  std::condition_variable served_;
  SC_HANDLE manager_ = nullptr;  // opened by the first watch
  std::thread thread_;           // started by the first watch
  std::deque<Request*> requests_;
  bool ending_ = false;

  // The notifier thread's own.
  std::map<Subscription*, std::unique_ptr<Subscription>> subscriptions_;
  std::map<Buffer*, std::unique_ptr<Buffer>> orphans_;
  std::vector<Buffer*> fired_;
  std::vector<Subscription*> dropped_;
};

}  // namespace gandry
