#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win/win_event_log.h"
#include "watchdog/event_kind.h"
#include "watchdog/log.h"

namespace gandry {
namespace {

// The classic identifiers, then one for each kind of detailed event.
std::vector<std::uint32_t> AllIds() {
  std::vector<std::uint32_t> ids = {0x40020001, 0x80020003, 0xC0020002};
  for (const EventKindInfo& info : kEventKinds) {
    ids.push_back(MessageIdOf(info.type, info.code));
  }
  return ids;
}

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

// Every identifier is there once, as an 8-bit entry of the insertion string and CR LF, and
// nothing else is.
TEST_F(MessageTable, HoldsAnEightBitEntryOfTheInsertionAndCrLfForEveryIdentifier) {
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
  const std::uint32_t blocks = u32(0);
  ASSERT_LE(4 + 12 * std::size_t{blocks}, size);
  std::vector<std::uint32_t> seen;
  for (std::uint32_t block = 0; block < blocks; ++block) {
    const std::size_t at = 4 + 12 * std::size_t{block};
    std::uint32_t entry = u32(at + 8);
    for (std::uint32_t id = u32(at); id <= u32(at + 4); ++id) {
      SCOPED_TRACE(id);
      seen.push_back(id);
      ASSERT_LE(entry + 4, size);
      std::uint16_t length;
      std::uint16_t flags;
      std::memcpy(&length, data + entry, 2);
      std::memcpy(&flags, data + entry + 2, 2);
      EXPECT_EQ(flags, 0u);  // 8-bit text
      ASSERT_LE(entry + length, size);
      const std::string text(reinterpret_cast<const char*>(data + entry + 4), length - 4);
      EXPECT_EQ(text.substr(0, text.find('\0')), "%1\r\n");
      entry += length;
    }
  }
  EXPECT_THAT(seen, ::testing::UnorderedElementsAreArray(AllIds()));
}

TEST_F(MessageTable, FormatsEachIdentifierAsItsInsertionStringAndCrLf) {
  const char* insertion = "Service [a%1b 100%] successfully started by 3 attempt(s).";
  for (const std::uint32_t id : AllIds()) {
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
