#pragma once

#include "platform/shared_memory.h"

namespace gandry {

// A named section backed by the paging file. A section obtained without a view keeps its
// handle until Close.
class WinSharedMemory final : public SharedMemory {
 public:
  WinSharedMemory() = default;
  WinSharedMemory(const WinSharedMemory&) = delete;
  WinSharedMemory& operator=(const WinSharedMemory&) = delete;
  ~WinSharedMemory() override { Close(); }

  std::byte* Open(const char* name, std::size_t size) override;
  std::byte* PublishGlobal(const char* name, std::size_t size) override;
  std::span<const std::byte> OpenGlobalReadOnly(const char* name) override;
  void Close() override;

 private:
  void* section_ = nullptr;  // HANDLE
  void* view_ = nullptr;
};

}  // namespace gandry
