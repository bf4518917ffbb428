#include "platform/win/win_shared_memory.h"

#include <windows.h>

#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
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

// A published section: one writer only, readers map all of it for reading, and its access list
// lets everybody but the system and administrators only read it.
TEST(WinSharedMemory, APublishedSectionHasOneWriterAndEverybodyElseOnlyReads) {
  const std::string name = UniqueName("published");
  WinSharedMemory writer;
  std::byte* view = writer.PublishGlobal(name.c_str(), 10'000);
  ASSERT_NE(view, nullptr);
  view[9'999] = std::byte{0x5A};
  WinSharedMemory second;
  EXPECT_EQ(second.PublishGlobal(name.c_str(), 10'000), nullptr);

  WinSharedMemory reader;
  const std::span<const std::byte> read = reader.OpenGlobalReadOnly(name.c_str());
  ASSERT_GE(read.size(), 10'000u);
  EXPECT_EQ(read[9'999], std::byte{0x5A});

  HANDLE section = OpenFileMappingA(READ_CONTROL, FALSE, ("Global\\" + name).c_str());
  ASSERT_NE(section, nullptr);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(section, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor),
            DWORD{ERROR_SUCCESS});
  CloseHandle(section);
  ASSERT_NE(dacl, nullptr);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(
      AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  ACCESS_MASK everyones = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, everyone)) {
      everyones |= ace->Mask;
    }
  }
  FreeSid(everyone);
  LocalFree(descriptor);
  EXPECT_EQ(everyones, ACCESS_MASK{FILE_MAP_READ});

  writer.Close();
  reader.Close();
  EXPECT_TRUE(reader.OpenGlobalReadOnly(name.c_str()).empty());
}

}  // namespace
}  // namespace gandry
