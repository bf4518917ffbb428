#include <string>
#include <string_view>

#include "contracts/ini_store_contract.h"
#include "fakes/fake_ini_store.h"
#include "platform/win/win_error_codes.h"

namespace gandry {
namespace {

// The fake store, seeded by taking the file's text apart line by line.
class FakeIniHarness {
 public:
  IniStore& store() { return store_; }
  const std::string& path() const { return path_; }
  void Seed(std::string_view text) {
    std::string section;
    while (!text.empty()) {
      const std::size_t end = text.find("\r\n");
      const std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
      if (line.starts_with('[')) {
        section = line.substr(1, line.find(']') - 1);
      } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
        store_.AddLine(path_, section, std::string(line.substr(0, equals)),
                       std::string(line.substr(equals + 1)));
      }
    }
  }
  std::uint32_t MakeUnreadable() {
    store_.unreadable[path_] = win_error::kAccessDenied;
    return win_error::kAccessDenied;
  }

 private:
  FakeIniStore store_;
  std::string path_ = "C:\\Gandry\\Gandry.ini";
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, IniStoreContract, FakeIniHarness);

}  // namespace
}  // namespace gandry
