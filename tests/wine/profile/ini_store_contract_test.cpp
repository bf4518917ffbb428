#include <windows.h>

#include <fstream>
#include <string>

#include "contracts/ini_store_contract.h"
#include "platform/win/win_ini_store.h"

namespace gandry {
namespace {

// The Win32 store on a file in a folder of its own in the temporary directory.
class WinIniHarness {
 public:
  WinIniHarness() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "gandry-contract-" + std::to_string(GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(folder_.c_str(), nullptr);
    path_ = folder_ + "\\Gandry.ini";
  }
  WinIniHarness(const WinIniHarness&) = delete;
  WinIniHarness& operator=(const WinIniHarness&) = delete;
  ~WinIniHarness() {
    RemoveDirectoryA(path_.c_str());
    for (const char* suffix : {"", ".tmp", ".lock"}) {
      DeleteFileA((path_ + suffix).c_str());
    }
    RemoveDirectoryA(folder_.c_str());
  }

  IniStore& store() { return store_; }
  const std::string& path() const { return path_; }
  void Seed(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  // A folder where the file should be: it exists, and opening it as a file is refused.
  std::uint32_t MakeUnreadable() {
    DeleteFileA(path_.c_str());
    EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr));
    return ERROR_ACCESS_DENIED;
  }

 private:
  std::string folder_;
  std::string path_;
  WinIniStore store_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win, IniStoreContract, WinIniHarness);

}  // namespace
}  // namespace gandry
