#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/zt_mapfile.h"
#include "platform/shared_memory.h"

namespace gandry {

// A heap buffer standing in for a named section. Two fakes built on the same buffer behave
// like two processes that mapped the same section. The bytes outlive Close, so a test can read
// what a run wrote after it closed its channel.
class FakeSharedMemory final : public SharedMemory {
 public:
  using Section = std::vector<std::byte>;

  // A fresh, zero-filled section of the channel's size.
  static std::shared_ptr<Section> NewSection(std::size_t size = kChannelSize) {
    return std::make_shared<Section>(size);
  }

  explicit FakeSharedMemory(std::shared_ptr<Section> section = NewSection())
      : section_(std::move(section)) {}

  std::byte* Open(const char* name, std::size_t size) override {
    ++opens_;
    last_name_ = name;
    if (fail_open_ || section_->size() < size) {
      return nullptr;
    }
    mapped_ = true;
    return section_->data();
  }
  std::byte* PublishGlobal(const char* name, std::size_t size) override {
    published_ = true;
    return Open(name, size);
  }
  // The section Offer gave, as a reader maps it.
  std::span<const std::byte> OpenGlobalReadOnly(const char* name) override {
    last_name_ = name;
    if (offered_ == nullptr) {
      return {};
    }
    return *offered_;
  }
  void Close() override {
    ++closes_;
    mapped_ = false;
  }

  // Makes `section` the one OpenGlobalReadOnly finds.
  void Offer(std::shared_ptr<Section> section) { offered_ = std::move(section); }
  bool published() const { return published_; }

  Section& section() { return *section_; }
  std::shared_ptr<Section> section_ptr() const { return section_; }
  void set_fail_open(bool fail) { fail_open_ = fail; }
  int opens() const { return opens_; }
  int closes() const { return closes_; }
  bool mapped() const { return mapped_; }
  const std::string& last_name() const { return last_name_; }

 private:
  std::shared_ptr<Section> section_;
  std::atomic<bool> fail_open_{false};
  std::atomic<bool> mapped_{false};
  std::atomic<int> opens_{0};
  std::atomic<int> closes_{0};
  std::string last_name_;
  std::atomic<bool> published_{false};
  std::shared_ptr<Section> offered_;
};

}  // namespace gandry
