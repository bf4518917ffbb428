#pragma once

#include <cstddef>
#include <vector>

#include "platform/shared_memory.h"

namespace gandry {

// A plain heap buffer in place of a named section, for measuring the ring's own cost on a
// host without Win32 shared memory.
class HeapSharedMemory final : public SharedMemory {
 public:
  std::byte* Open(const char*, std::size_t size) override {
    buffer_.assign(size, std::byte{0});
    return buffer_.data();
  }
  void Close() override { buffer_.clear(); }

 private:
  std::vector<std::byte> buffer_;
};

}  // namespace gandry
