#pragma once

#include <cstddef>

namespace gandry {

// A named section of shared memory backed by the paging file.
class SharedMemory {
 public:
  virtual ~SharedMemory() = default;
  // Creates the section, or opens it when another process created it already, and maps all of
  // it for reading and writing. Returns the view, or nullptr when none could be mapped.
  virtual std::byte* Open(const char* name, std::size_t size) = 0;
  // Unmaps the view and closes the section; does nothing when nothing is open.
  virtual void Close() = 0;
};

}  // namespace gandry
