#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/win/win_files.h"

namespace gandry {
namespace {

std::string Folder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      std::string(temp) + "gandry-files-" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string Read(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// What the metrics writer relies on: the file is created or replaced whole, no temporary file
// is left, and a reader that holds the file blocks the rename, with a kind worth trying again,
// only while it holds it.
TEST(WinFiles, ReplaceContentsSwapsTheWholeFileInOneStep) {
  const std::string folder = Folder();
  const std::string path = folder + "gandry.prom";
  WinFiles files;
  ASSERT_TRUE(files.ReplaceContents(path, "first\n"));
  ASSERT_TRUE(files.ReplaceContents(path, "second\n"));
  EXPECT_EQ(Read(path), "second\n");
  EXPECT_FALSE(files.Exists(path + ".tmp"));

  // Delete sharing makes no difference here: Wine 8 refuses the rename onto an open file either
  // way.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const Status blocked = files.ReplaceContents(path, "third\n");
  CloseHandle(holder);
  ASSERT_FALSE(blocked);
  EXPECT_TRUE(blocked.error().kind == ErrorKind::kAccessDenied ||
              blocked.error().kind == ErrorKind::kBusy)
      << blocked.error().code;
  EXPECT_EQ(Read(path), "second\n");
  EXPECT_FALSE(files.Exists(path + ".tmp"));

  EXPECT_TRUE(files.ReplaceContents(path, "third\n"));
  EXPECT_EQ(Read(path), "third\n");

  const Status missing = files.ReplaceContents(folder + "no-such-folder\\gandry.prom", "x");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, 3u);  // the path was not found

  DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace gandry
