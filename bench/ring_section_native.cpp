#include <memory>

#include "fakes/fake_shared_memory.h"
#include "ring_section.h"

namespace gandry {

// Without Win32 shared memory a heap buffer measures the ring's own cost.
BenchSection MakeBenchSection() {
  return {std::make_unique<FakeSharedMemory>(), "native"};
}

}  // namespace gandry
