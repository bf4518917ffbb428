#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/win_ini_store.h"
#include "watchdog/config.h"

namespace gandry {
namespace {

// A folder of its own in the temporary directory, holding at most one INI file.
class ProfileFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "gandry-profile-" + std::to_string(GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(folder_.c_str(), nullptr);
    ini_ = folder_ + "\\" + kIniFileName;
  }
  void TearDown() override {
    SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(ini_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  void Write(const std::string& text) { std::ofstream(ini_, std::ios::binary) << text; }
  std::string Read() const {
    std::ifstream file(ini_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string folder_;
  std::string ini_;
  WinIniStore ini;
};

TEST_F(ProfileFiles, ReadsDelaysAndWritesDefaultsBack) {
  Write(
      "[Settings]\r\n"
      "LoopDelayThread=4\r\n"
      "loopdelayservice = 0x1E \r\n"
      "StartDelayThread=180\r\n");
  EXPECT_EQ(ReadDelaySetting(ini, ini_, "Settings", "LoopDelayThread", 30), 30);
  EXPECT_EQ(ReadDelaySetting(ini, ini_, "Settings", "LoopDelayService", 20), 30);
  EXPECT_EQ(ReadDelaySetting(ini, ini_, "Settings", "StartDelayThread", 180), 180);
  const std::string text = Read();
  EXPECT_NE(text.find("LoopDelayThread=30\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("StartDelayThread=180\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("=4"), std::string::npos) << text;
}

TEST_F(ProfileFiles, AMissingFileIsCreatedWithTheDefault) {
  EXPECT_EQ(ReadDelaySetting(ini, ini_, "Settings", "LoopDelayService", 20), 20);
  EXPECT_EQ(Read(), "[Settings]\r\nLoopDelayService=20\r\n");
  EXPECT_TRUE(LoadItems(ini, ini_, nullptr).empty());
}

TEST_F(ProfileFiles, AFileThatCannotBeWrittenKeepsItsValueAndGivesTheDefault) {
  const std::string original = "[Settings]\r\nLoopDelayThread=4\r\n";
  Write(original);
  ASSERT_TRUE(SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_READONLY));
  // Wine lets root write a read-only file; a handle that denies writing stops everybody.
  HANDLE guard = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(guard, INVALID_HANDLE_VALUE);
  const Status write = ini.WriteValue(ini_, "Settings", "LoopDelayThread", "30");
  EXPECT_FALSE(write);
  EXPECT_NE(write.error().code, 0u);
  EXPECT_EQ(ReadDelaySetting(ini, ini_, "Settings", "LoopDelayThread", 30), 30);
  CloseHandle(guard);
  EXPECT_EQ(Read(), original);
}

TEST_F(ProfileFiles, ListsItemsInFileOrder) {
  const std::string long_value = "Long|" + std::string(245, 'v');
  Write(
      "[Services]\r\n"
      "item1=Spooler||3|1440\r\n"
      "Service1=Other||1|0\r\n"
      "ITEM_backup = Backup|x|0|60\r\n"
      "Items=a=b\r\n"
      "Item5=" +
      long_value +
      "\r\n"
      "[Settings]\r\n"
      "Item9=elsewhere\r\n");
  EXPECT_EQ(LoadItems(ini, ini_, nullptr),
            (std::vector<std::string>{"Spooler||3|1440", "Backup|x|0|60", "a=b",
                                      long_value.substr(0, 200)}));
}

TEST_F(ProfileFiles, ListsMoreKeyNamesThanTheFirstBufferHolds) {
  std::string text = "[Services]\r\n";
  std::vector<std::string> expected;
  for (int i = 0; i < 1500; ++i) {
    expected.push_back("svc" + std::to_string(i) + "||3|0");
    text += "Item" + std::to_string(i) + "_with_a_rather_long_name=" + expected.back() + "\r\n";
  }
  Write(text);
  // The platform cuts a listing at the buffer's end and answers the size minus two; the store
  // must see that and ask again with more room.
  std::vector<char> small(16384);
  EXPECT_EQ(GetPrivateProfileStringA("Services", nullptr, "", small.data(),
                                     static_cast<DWORD>(small.size()), ini_.c_str()),
            small.size() - 2);
  EXPECT_EQ(LoadItems(ini, ini_, nullptr), expected);
}

TEST_F(ProfileFiles, DeletesOnlyTheKeyNamed) {
  Write("[Services]\r\nItem1=a\r\nitem2=b\r\n");
  EXPECT_TRUE(ini.DeleteKey(ini_, "services", "ITEM1"));
  EXPECT_TRUE(ini.DeleteKey(ini_, "Services", "Item7"));
  EXPECT_EQ(ini.ListKeys(ini_, "Services"), std::vector<std::string>{"item2"});
  EXPECT_EQ(ini.ReadValue(ini_, "Services", "Item2"), "b");
}

}  // namespace
}  // namespace gandry
