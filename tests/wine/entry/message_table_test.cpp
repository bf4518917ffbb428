#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win/win_event_log.h"
#include "watchdog/log.h"

namespace gandry {
namespace {

constexpr std::uint32_t kIds[] = {0x40020001, 0x80020003, 0xC0020002};

class MessageTable : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string svc(path);
    svc = svc.substr(0, svc.find_last_of('\\') + 1) + "gandry.svc";
    module_ = LoadLibraryExA(svc.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) {
      FreeLibrary(module_);
    }
  }

  HMODULE module_ = nullptr;
};

TEST_F(MessageTable, HoldsThreeEightBitEntriesOfTheInsertionAndCrLf) {
  HRSRC found = FindResourceExA(module_, reinterpret_cast<LPCSTR>(RT_MESSAGETABLE),
                                MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(found, nullptr);
  const DWORD size = SizeofResource(module_, found);
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
  ASSERT_NE(data, nullptr);
  auto u32 = [&](std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
  };
  ASSERT_GE(size, 4u);
  ASSERT_EQ(u32(0), 3u);
  for (int block = 0; block < 3; ++block) {
    SCOPED_TRACE(block);
    const std::size_t at = 4 + 12 * block;
    EXPECT_EQ(u32(at), kIds[block]);
    EXPECT_EQ(u32(at + 4), kIds[block]);
    const std::uint32_t entry = u32(at + 8);
    ASSERT_LE(entry + 8, size);
    std::uint16_t length;
    std::uint16_t flags;
    std::memcpy(&length, data + entry, 2);
    std::memcpy(&flags, data + entry + 2, 2);
    EXPECT_EQ(flags, 0u);  // 8-bit text
    ASSERT_LE(entry + length, size);
    const std::string text(reinterpret_cast<const char*>(data + entry + 4), length - 4);
    EXPECT_EQ(text.substr(0, text.find('\0')), "%1\r\n");
  }
}

TEST_F(MessageTable, FormatsEachIdentifierAsItsInsertionStringAndCrLf) {
  const char* insertion = "Service [a%1b 100%] successfully started by 3 attempt(s).";
  for (const std::uint32_t id : kIds) {
    SCOPED_TRACE(id);
    char buffer[512] = {};
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(insertion)};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        module_, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        buffer, sizeof buffer, reinterpret_cast<va_list*>(args));
    ASSERT_GT(length, 0u) << GetLastError();
    EXPECT_EQ(std::string(buffer, length), std::string(insertion) + "\r\n");
  }
}

TEST(EventLog, AnEventOfGandryServiceIsReported) {
  WinEventLog events;
  EXPECT_TRUE(reportEvent(events, "Nothing to do. Exiting.", kEventInformation));
  EXPECT_TRUE(reportEvent(events, "100% %1 %s", kEventWarning));
  EXPECT_TRUE(reportEvent(events, "", kEventError));
}

}  // namespace
}  // namespace gandry
