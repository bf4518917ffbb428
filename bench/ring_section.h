#pragma once

#include <memory>

#include "platform/shared_memory.h"

namespace gandry {

// The section the ring benchmark runs over, and the name its figures are printed under. Each
// platform's build links the one source that provides it.
struct BenchSection {
  std::unique_ptr<SharedMemory> memory;
  const char* where;
};

BenchSection MakeBenchSection();

}  // namespace gandry
