#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
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
    for (const char* suffix : {"", ".tmp"}) {
      DeleteFileA((ini_ + suffix).c_str());
    }
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

std::unique_ptr<IniFile> Open(WinIniStore& store, const std::string& path) {
  Result<std::unique_ptr<IniFile>> file = store.Read(path);
  EXPECT_TRUE(file) << file.error().code;
  return file ? std::move(*file) : nullptr;
}
std::unique_ptr<IniEdit> Begin(WinIniStore& store, const std::string& path) {
  Result<std::unique_ptr<IniEdit>> edit = store.Edit(path);
  EXPECT_TRUE(edit) << edit.error().code;
  return edit ? std::move(*edit) : nullptr;
}

// What the fake store imitates: letter case, a key on two lines (read, written and deleted
// through its first line only), and an edit that changes nothing else, byte for byte. (Wine's
// profile functions, unlike Windows', also drop blanks around '=' and empty lines when they
// write a file, so the file here has none.)
TEST_F(ProfileFiles, ReadsByTheProfileRulesAndEditsOnlyTheFirstLineOfAKey) {
  const std::string original =
      "; the site's own words\r\n"
      "[Settings]\r\n"
      "LoopDelayThread=4\r\n"
      "loopdelayservice=0x1E\r\n"
      "StartDelayThread=180\r\n"
      "[Services]\r\n"
      "; first\r\n"
      "Item1=A||3|0\r\n"
      "Item2=C||3|0\r\n"
      "item1=B||3|0\r\n";
  Write(original);
  std::unique_ptr<IniFile> file = Open(ini, ini_);
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Exists());
  EXPECT_EQ(ReadDelay(*file, "Settings", kLoopDelayThread).seconds, 30);
  EXPECT_EQ(ReadDelay(*file, "SETTINGS", kLoopDelayService).seconds, 30);
  EXPECT_FALSE(ReadDelay(*file, "Settings", kStartDelayThread).write_back);
  EXPECT_EQ(file->ListKeys("Services"), (std::vector<std::string>{"Item1", "Item2", "item1"}));
  EXPECT_EQ(file->ReadValue("Services", "ITEM1"), "A||3|0");
  file.reset();

  std::unique_ptr<IniEdit> edit = Begin(ini, ini_);
  ASSERT_TRUE(edit);
  ASSERT_TRUE(edit->WriteValue("settings", "LoopDelayThread", "30"));
  ASSERT_TRUE(edit->WriteValue("Services", "Item1", "A||5|0"));
  EXPECT_EQ(edit->ReadValue("Services", "Item1"), "A||5|0");
  ASSERT_TRUE(edit->DeleteKey("Services", "Item1"));
  EXPECT_EQ(edit->ReadValue("Services", "Item1"), "B||3|0");
  ASSERT_TRUE(edit->DeleteKey("Services", "Item7"));
  EXPECT_EQ(Read(), original);  // nothing reaches the file before the commit
  ASSERT_TRUE(edit->Commit());
  edit.reset();
  EXPECT_EQ(Read(),
            "; the site's own words\r\n"
            "[Settings]\r\n"
            "LoopDelayThread=30\r\n"
            "loopdelayservice=0x1E\r\n"
            "StartDelayThread=180\r\n"
            "[Services]\r\n"
            "; first\r\n"
            "Item2=C||3|0\r\n"
            "item1=B||3|0\r\n");
  EXPECT_EQ(GetFileAttributesA((ini_ + ".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ProfileFiles, AMissingFileReadsAsEmptyAndAnEditCreatesIt) {
  std::unique_ptr<IniFile> file = Open(ini, ini_);
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->Exists());
  EXPECT_TRUE(LoadItems(*file, nullptr).empty());
  file.reset();
  std::unique_ptr<IniEdit> edit = Begin(ini, ini_);
  ASSERT_TRUE(edit);
  EXPECT_FALSE(edit->Exists());
  ASSERT_TRUE(edit->WriteValue("Settings", "LoopDelayService", "20"));
  ASSERT_TRUE(edit->Commit());
  EXPECT_EQ(Read(), "[Settings]\r\nLoopDelayService=20\r\n");
}

// The cases the fake's "unreadable" stands for. None of them is written.
TEST_F(ProfileFiles, AFileThatCannotBeReadGivesItsErrorAndIsNeverWritten) {
  const auto expect_error = [&](std::uint32_t code, const char* what) {
    Result<std::unique_ptr<IniFile>> file = ini.Read(ini_);
    ASSERT_FALSE(file) << what;
    EXPECT_EQ(file.error().code, code) << what;
    Result<std::unique_ptr<IniEdit>> edit = ini.Edit(ini_);
    ASSERT_FALSE(edit) << what;
    EXPECT_EQ(edit.error().code, code) << what;
  };
  const std::string original = "[Settings]\r\nLoopDelayThread=4\r\n";
  Write(original);
  // A program that holds it to write it (the profile functions themselves would read nothing).
  HANDLE writer = CreateFileA(ini_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  char value[16] = {};
  EXPECT_EQ(GetPrivateProfileStringA("Settings", "LoopDelayThread", "", value, sizeof value,
                                     ini_.c_str()),
            0u);
  expect_error(ERROR_SHARING_VIOLATION, "held by a writer");
  CloseHandle(writer);

  Write("\xEF\xBB\xBF" + original);
  expect_error(kErrorIniByteOrderMark, "byte-order mark");
  EXPECT_EQ(Read(), "\xEF\xBB\xBF" + original);

  DeleteFileA(ini_.c_str());
  ASSERT_TRUE(CreateDirectoryA(ini_.c_str(), nullptr));
  expect_error(ERROR_ACCESS_DENIED, "a folder of that name");
  RemoveDirectoryA(ini_.c_str());
}

// Edits one at a time, in any process, and never a replacement under a reader's feet.
TEST_F(ProfileFiles, AnEditHoldsTheLockAndWaitsForReaders) {
  const std::string original = "[Settings]\r\nLoopDelayThread=4\r\n";
  Write(original);
  // A copy that an edit cut short by a crash left behind is nobody's Gandry.ini.
  std::ofstream(ini_ + ".tmp", std::ios::binary) << "[Services]\r\nItem1=Stale||3|0\r\n";
  EXPECT_TRUE(LoadItems(*Open(ini, ini_), nullptr).empty());

  std::unique_ptr<IniEdit> edit = Begin(ini, ini_);
  ASSERT_TRUE(edit);
  EXPECT_TRUE(edit->ListKeys("Services").empty());
  Result<std::unique_ptr<IniEdit>> second = ini.Edit(ini_);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().kind, ErrorKind::kBusy);
  ASSERT_TRUE(edit->WriteValue("Settings", "LoopDelayThread", "30"));
  {
    std::unique_ptr<IniFile> reader = Open(ini, ini_);
    const Status committed = edit->Commit();
    ASSERT_FALSE(committed);
    EXPECT_EQ(committed.error().kind, ErrorKind::kBusy);
    EXPECT_EQ(reader->ReadValue("Settings", "LoopDelayThread"), "4");
  }
  ASSERT_TRUE(edit->Commit());
  edit.reset();
  EXPECT_EQ(Read(), "[Settings]\r\nLoopDelayThread=30\r\n");
  EXPECT_TRUE(ini.Edit(ini_));
  EXPECT_EQ(GetFileAttributesA((ini_ + ".lock").c_str()), INVALID_FILE_ATTRIBUTES);
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
  EXPECT_EQ(LoadItems(*Open(ini, ini_), nullptr),
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
  EXPECT_EQ(LoadItems(*Open(ini, ini_), nullptr), expected);
}

}  // namespace
}  // namespace gandry
