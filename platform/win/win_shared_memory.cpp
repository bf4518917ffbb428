#include "platform/win/win_shared_memory.h"

#include <windows.h>

#include <sddl.h>

#include <string>

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

namespace {

// Full access for the system and administrators; map-for-reading for everybody, so that the
// manager shows the state without elevation and nothing of theirs reaches the writer.
constexpr char kPublishedAccess[] =
    "D:P(A;;0x000F001F;;;SY)(A;;0x000F001F;;;BA)(A;;0x00000004;;;WD)";
static_assert(SECTION_ALL_ACCESS == 0x000F001F && FILE_MAP_READ == 0x00000004);

std::string GlobalName(const char* name) {
  return std::string("Global\\") + name;
}

}  // namespace

std::byte* WinSharedMemory::PublishGlobal(const char* name, std::size_t size) {
  if (view_ != nullptr) {
    return static_cast<std::byte*>(view_);
  }
  if (section_ == nullptr) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPublishedAccess, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
      return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const auto size64 = static_cast<unsigned long long>(size);
    section_ = CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE,
                                  static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64),
                                  GlobalName(name).c_str());
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    if (section_ == nullptr) {
      return nullptr;
    }
    if (error == ERROR_ALREADY_EXISTS) {
      // Somebody else's section: one writer only.
      Close();
      return nullptr;
    }
  }
  view_ = MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, size);
  return static_cast<std::byte*>(view_);
}

std::span<const std::byte> WinSharedMemory::OpenGlobalReadOnly(const char* name) {
  Close();
  section_ = OpenFileMappingA(FILE_MAP_READ, FALSE, GlobalName(name).c_str());
  if (section_ == nullptr) {
    return {};
  }
  view_ = MapViewOfFile(section_, FILE_MAP_READ, 0, 0, 0);
  MEMORY_BASIC_INFORMATION region{};
  if (view_ == nullptr || VirtualQuery(view_, &region, sizeof region) == 0) {
    Close();
    return {};
  }
  // The view ends with the section, rounded up to whole pages.
  return {static_cast<const std::byte*>(view_), region.RegionSize};
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
