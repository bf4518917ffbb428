#include <memory>

#include "platform/win/win_shared_memory.h"
#include "ring_section.h"

namespace gandry {

BenchSection MakeBenchSection() {
  return {std::make_unique<WinSharedMemory>(), sizeof(void*) == 8 ? "Wine x64" : "Wine x86"};
}

}  // namespace gandry
