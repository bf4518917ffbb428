#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/zt_mapfile.h"
#include "platform/win/win_shared_memory.h"
#include "support/channel_lines.h"
#include "tools/wine_rig/bin_folder.h"

namespace gandry {
namespace {

HANDLE StartWriter(const std::string& args) {
  std::string command = "\"" + rig::BinFolder() + "channel_writer.exe\" " + args;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD Finish(HANDLE process) {
  DWORD code = 99;
  if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process, &code);
  } else {
    TerminateProcess(process, 99);
  }
  CloseHandle(process);
  return code;
}

class ChannelAcrossProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(reader_.open());
    // Whatever an earlier user of the section left behind is not ours.
    DrainChannel(reader_);
  }

  WinSharedMemory memory_;
  MessageChannel reader_{memory_};
};

TEST_F(ChannelAcrossProcesses, TheWriterContinuesTheRingTheReaderInitialised) {
  ASSERT_TRUE(reader_.append("from the reader"));
  HANDLE writer = StartWriter("lines");
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(Finish(writer), 0u);
  EXPECT_EQ(DrainChannel(reader_),
            (std::vector<std::string>{"from the reader", "first", std::string(250, 'w'),
                                      "two\nlines", "", "\xe4\xf6\xfc last"}));
}

TEST_F(ChannelAcrossProcesses, AWriterThatRunsAheadDiscardsTheOldestLines) {
  HANDLE writer = StartWriter("count 600");
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(Finish(writer), 0u);
  EXPECT_EQ(DrainChannel(reader_), Numbered("n ", 102, 600));
}

TEST_F(ChannelAcrossProcesses, AReaderThatKeepsUpGetsEveryLineInOrder) {
  HANDLE writer = StartWriter("count 450");
  ASSERT_NE(writer, nullptr);
  std::vector<std::string> lines;
  for (;;) {
    const bool ended = WaitForSingleObject(writer, 0) == WAIT_OBJECT_0;
    for (const std::string& line : DrainChannel(reader_)) {
      lines.push_back(line);
    }
    if (ended) {
      break;
    }
    Sleep(1);
  }
  ASSERT_EQ(Finish(writer), 0u);
  EXPECT_EQ(lines, Numbered("n ", 1, 450));
}

}  // namespace
}  // namespace gandry
