#include "platform/win/win_shared_memory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/zt_mapfile.h"

namespace gandry {
namespace {

// A section name of this test's own, so that no other user of the prefix gets in the way.
std::string UniqueName(const char* what) {
  return std::string("gandry-test-") + what + "-" + std::to_string(GetCurrentProcessId());
}

bool SectionExists(const std::string& name) {
  HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  if (h == nullptr) {
    return false;
  }
  CloseHandle(h);
  return true;
}

TEST(WinSharedMemory, TwoMappingsOfOneNameShareTheirBytes) {
  const std::string name = UniqueName("share");
  WinSharedMemory first;
  WinSharedMemory second;
  std::byte* a = first.Open(name.c_str(), kChannelSize);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(std::all_of(a, a + kChannelSize, [](std::byte b) { return b == std::byte{0}; }));
  a[0] = std::byte{'U'};
  a[kChannelSize - 1] = std::byte{0x5A};
  std::byte* b = second.Open(name.c_str(), kChannelSize);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b[0], std::byte{'U'});
  EXPECT_EQ(b[kChannelSize - 1], std::byte{0x5A});
  // Opening again keeps the one view rather than mapping another.
  EXPECT_EQ(first.Open(name.c_str(), kChannelSize), a);
}

TEST(WinSharedMemory, TheContentsLastOnlyWhileSomebodyHasTheSectionOpen) {
  const std::string name = UniqueName("life");
  WinSharedMemory memory;
  std::byte* view = memory.Open(name.c_str(), kChannelSize);
  ASSERT_NE(view, nullptr);
  view[5] = std::byte{7};
  memory.Close();
  EXPECT_FALSE(SectionExists(name));
  memory.Close();
  view = memory.Open(name.c_str(), kChannelSize);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[5], std::byte{0});
}

TEST(WinSharedMemory, ASmallerSectionOfTheNameIsNotMappedButHeldUntilClose) {
  const std::string name = UniqueName("small");
  HANDLE small =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(small, nullptr);
  WinSharedMemory memory;
  EXPECT_EQ(memory.Open(name.c_str(), kChannelSize), nullptr);
  CloseHandle(small);
  // The handle obtained without a view keeps the section alive until Close.
  EXPECT_TRUE(SectionExists(name));
  memory.Close();
  EXPECT_FALSE(SectionExists(name));
  EXPECT_NE(memory.Open(name.c_str(), kChannelSize), nullptr);
}

}  // namespace
}  // namespace gandry
