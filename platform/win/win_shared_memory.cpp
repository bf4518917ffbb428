#include "platform/win/win_shared_memory.h"

#include <windows.h>

namespace gandry {

std::byte* WinSharedMemory::Open(const char* name, std::size_t size) {
  if (view_ != nullptr) {
    return static_cast<std::byte*>(view_);
  }
  if (section_ == nullptr) {
    const auto size64 = static_cast<unsigned long long>(size);
    section_ =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64), name);
    if (section_ == nullptr) {
      return nullptr;
    }
  }
  // Mapping exactly `size` bytes fails when a section of that name made elsewhere is smaller,
  // so the view never ends before the caller's data does.
  view_ = MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, size);
  return static_cast<std::byte*>(view_);
}

void WinSharedMemory::Close() {
  if (view_ != nullptr) {
    UnmapViewOfFile(view_);
    view_ = nullptr;
  }
  if (section_ != nullptr) {
    CloseHandle(section_);
    section_ = nullptr;
  }
}

}  // namespace gandry
