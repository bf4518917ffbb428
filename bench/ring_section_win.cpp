#include <memory>

#include "ring_section.h"
#include "platform/win/win_shared_memory.h"

namespace gandry {

BenchSection MakeBenchSection() {
  return {std::make_unique<WinSharedMemory>(), sizeof(void*) == 8 ? "Wine x64" : "Wine x86"};
}

}  // namespace gandry
