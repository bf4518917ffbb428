#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini_store.h"

namespace gandry {

// What every IniStore must do, run against each implementation: the fake natively, the Win32
// store under Wine. A harness owns one store and one file path, and provides
//   IniStore& store();
//   const std::string& path() const;
//   void Seed(const std::string& text);  // puts a file with these bytes where there was none
//   std::uint32_t MakeUnreadable();      // a file there that exists but cannot be read; its code
// A new harness has no file at the path.
template <class Harness>
class IniStoreContract : public ::testing::Test {
 protected:
  std::unique_ptr<IniFile> Read() {
    Result<std::unique_ptr<IniFile>> file = harness.store().Read(harness.path());
    EXPECT_TRUE(file) << file.error().code;
    return file ? std::move(*file) : nullptr;
  }
  std::unique_ptr<IniEdit> Edit() {
    Result<std::unique_ptr<IniEdit>> edit = harness.store().Edit(harness.path());
    EXPECT_TRUE(edit) << edit.error().code;
    return edit ? std::move(*edit) : nullptr;
  }
  // Every line of a section, as a reader lists and reads it.
  static std::vector<std::string> Lines(IniFile& file, const std::string& section) {
    std::vector<std::string> lines;
    for (const std::string& key : file.ListKeys(section)) {
      lines.push_back(key + "=" + file.ReadValue(section, key));
    }
    return lines;
  }

  Harness harness;
};

TYPED_TEST_SUITE_P(IniStoreContract);

TYPED_TEST_P(IniStoreContract, ReadsNamesWithoutCaseAndValuesWithoutBlanksOrQuotes) {
  const std::string long_value(3000, 'v');
  this->harness.Seed(
      "[Settings]\r\n"
      "  LoopDelayThread =  30  \r\n"
      "Quoted=\"30\"\r\n"
      "Single='x y'\r\n"
      "HalfQuoted=\"30\r\n"
      "Empty=\r\n"
      "Long=" +
      long_value +
      "\r\n"
      "[Services]\r\n"
      "Item1=A||3|0\r\n"
      "Item2=C||3|0\r\n"
      "item1=B||3|0\r\n");
  std::unique_ptr<IniFile> file = this->Read();
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Exists());
  EXPECT_EQ(file->ReadValue("SETTINGS", "loopdelaythread"), "30");
  EXPECT_EQ(file->ReadValue("Settings", "Quoted"), "30");
  EXPECT_EQ(file->ReadValue("Settings", "Single"), "x y");
  EXPECT_EQ(file->ReadValue("Settings", "HalfQuoted"), "\"30");
  EXPECT_EQ(file->ReadValue("Settings", "Long").size(), 2047u);
  EXPECT_EQ(file->ReadValue("Settings", "Missing"), "");
  EXPECT_EQ(file->ReadValue("Elsewhere", "Empty"), "");
  EXPECT_EQ(file->ListKeys("Settings"),
            (std::vector<std::string>{"LoopDelayThread", "Quoted", "Single", "HalfQuoted", "Empty",
                                      "Long"}));
  EXPECT_TRUE(file->ListKeys("Elsewhere").empty());
  EXPECT_EQ(file->ListSections(), (std::vector<std::string>{"Settings", "Services"}));
  // A key on two lines is listed twice, and both times reads as its first line.
  EXPECT_EQ(this->Lines(*file, "services"),
            (std::vector<std::string>{"Item1=A||3|0", "Item2=C||3|0", "item1=A||3|0"}));
}

TYPED_TEST_P(IniStoreContract, AnEditChangesTheFirstLineOfAKeyAndALaterReadSeesIt) {
  this->harness.Seed(
      "[Settings]\r\n"
      "LoopDelayThread=4\r\n"
      "[Services]\r\n"
      "Item1=A||3|0\r\n"
      "Item2=C||3|0\r\n"
      "item1=B||3|0\r\n"
      "ITEM1=D||3|0\r\n"
      "[Health W3SVC]\r\n"
      "Check=tcp://127.0.0.1:80\r\n"
      "Interval=10\r\n");
  std::unique_ptr<IniEdit> edit = this->Edit();
  ASSERT_TRUE(edit);
  EXPECT_TRUE(edit->Exists());
  ASSERT_TRUE(edit->WriteValue("settings", "LOOPDELAYTHREAD", "30"));
  ASSERT_TRUE(edit->WriteValue("Services", "item1", "A||5|0"));
  EXPECT_EQ(edit->ReadValue("Services", "Item1"), "A||5|0");  // an edit reads its own writes
  ASSERT_TRUE(edit->DeleteKey("Services", "Item1"));
  EXPECT_EQ(edit->ReadValue("Services", "Item1"), "B||3|0");
  ASSERT_TRUE(edit->DeleteKey("Services", "Item7"));
  ASSERT_TRUE(edit->DeleteKey("Nowhere", "Item1"));
  ASSERT_TRUE(edit->WriteValue("Services", "Item3", "E||3|0"));
  ASSERT_TRUE(edit->WriteValue("New", "Key", "value"));
  // A section goes whole, named in any letter case.
  ASSERT_TRUE(edit->DeleteSection("health w3svc"));
  ASSERT_TRUE(edit->DeleteSection("Nowhere"));
  ASSERT_TRUE(edit->Commit());
  edit.reset();

  std::unique_ptr<IniFile> file = this->Read();
  ASSERT_TRUE(file);
  EXPECT_EQ(this->Lines(*file, "Settings"), (std::vector<std::string>{"LoopDelayThread=30"}));
  EXPECT_EQ(
      this->Lines(*file, "Services"),
      (std::vector<std::string>{"Item2=C||3|0", "item1=B||3|0", "ITEM1=B||3|0", "Item3=E||3|0"}));
  EXPECT_EQ(this->Lines(*file, "New"), (std::vector<std::string>{"Key=value"}));
  EXPECT_EQ(file->ListSections(), (std::vector<std::string>{"Settings", "Services", "New"}));
}

TYPED_TEST_P(IniStoreContract, AnEditDroppedWithoutCommitLeavesTheFileAsItWas) {
  {
    std::unique_ptr<IniEdit> edit = this->Edit();
    ASSERT_TRUE(edit);
    ASSERT_TRUE(edit->WriteValue("Settings", "LoopDelayThread", "30"));
  }
  std::unique_ptr<IniFile> missing = this->Read();
  ASSERT_TRUE(missing);
  EXPECT_FALSE(missing->Exists());
  missing.reset();

  this->harness.Seed("[Settings]\r\nLoopDelayThread=4\r\n");
  {
    std::unique_ptr<IniEdit> edit = this->Edit();
    ASSERT_TRUE(edit);
    ASSERT_TRUE(edit->WriteValue("Settings", "LoopDelayThread", "30"));
    ASSERT_TRUE(edit->DeleteKey("Settings", "LoopDelayThread"));
  }
  std::unique_ptr<IniFile> file = this->Read();
  ASSERT_TRUE(file);
  EXPECT_EQ(this->Lines(*file, "Settings"), (std::vector<std::string>{"LoopDelayThread=4"}));
}

// A missing file is an empty one that an edit creates; one that exists but cannot be read fails
// reads and edits alike, so that nothing is written over what could not be read.
TYPED_TEST_P(IniStoreContract, TellsAMissingFileFromOneThatCannotBeRead) {
  std::unique_ptr<IniFile> file = this->Read();
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->Exists());
  EXPECT_TRUE(file->ListKeys("Settings").empty());
  file.reset();
  std::unique_ptr<IniEdit> edit = this->Edit();
  ASSERT_TRUE(edit);
  EXPECT_FALSE(edit->Exists());
  ASSERT_TRUE(edit->WriteValue("Settings", "LoopDelayService", "20"));
  ASSERT_TRUE(edit->Commit());
  edit.reset();
  file = this->Read();
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Exists());
  EXPECT_EQ(file->ReadValue("Settings", "LoopDelayService"), "20");
  file.reset();

  const std::uint32_t code = this->harness.MakeUnreadable();
  Result<std::unique_ptr<IniFile>> unreadable = this->harness.store().Read(this->harness.path());
  ASSERT_FALSE(unreadable);
  EXPECT_EQ(unreadable.error().code, code);
  Result<std::unique_ptr<IniEdit>> refused = this->harness.store().Edit(this->harness.path());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, code);
}

// Edits take turns, and none replaces the file under a reader: both are told so as busy, which
// callers try again on.
TYPED_TEST_P(IniStoreContract, EditsTakeTurnsAndCommitOnlyOnceNoReaderHoldsTheFile) {
  this->harness.Seed("[Settings]\r\nLoopDelayThread=4\r\n");
  std::unique_ptr<IniEdit> edit = this->Edit();
  ASSERT_TRUE(edit);
  Result<std::unique_ptr<IniEdit>> second = this->harness.store().Edit(this->harness.path());
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().kind, ErrorKind::kBusy);
  ASSERT_TRUE(edit->WriteValue("Settings", "LoopDelayThread", "30"));
  {
    std::unique_ptr<IniFile> reader = this->Read();
    ASSERT_TRUE(reader);
    const Status committed = edit->Commit();
    ASSERT_FALSE(committed);
    EXPECT_EQ(committed.error().kind, ErrorKind::kBusy);
    EXPECT_EQ(reader->ReadValue("Settings", "LoopDelayThread"), "4");
  }
  ASSERT_TRUE(edit->Commit());
  edit.reset();
  std::unique_ptr<IniEdit> next = this->Edit();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->ReadValue("Settings", "LoopDelayThread"), "30");
}

REGISTER_TYPED_TEST_SUITE_P(IniStoreContract, ReadsNamesWithoutCaseAndValuesWithoutBlanksOrQuotes,
                            AnEditChangesTheFirstLineOfAKeyAndALaterReadSeesIt,
                            AnEditDroppedWithoutCommitLeavesTheFileAsItWas,
                            TellsAMissingFileFromOneThatCannotBeRead,
                            EditsTakeTurnsAndCommitOnlyOnceNoReaderHoldsTheFile);

}  // namespace gandry
