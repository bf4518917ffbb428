#pragma once

#include <string>
#include <vector>

#include "platform/result.h"

namespace gandry {

// INI files. Section and key names compare without regard to letter case; a file that does not
// exist reads as empty, and a write creates it.
class IniStore {
 public:
  virtual ~IniStore() = default;
  // The section's key names in file order, a key that appears twice listed twice; empty when
  // the file or the section is missing.
  virtual std::vector<std::string> ListKeys(const std::string& path,
                                            const std::string& section) = 0;
  // The value of the key's first line, without the blanks around it (up to 2047 characters);
  // empty when the key is missing.
  virtual std::string ReadValue(const std::string& path, const std::string& section,
                                const std::string& key) = 0;
  // Sets the key's value, adding the key (and the section and the file) when missing.
  virtual Status WriteValue(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& value) = 0;
  // Removes the key's line; succeeds when there was none.
  virtual Status DeleteKey(const std::string& path, const std::string& section,
                           const std::string& key) = 0;
};

}  // namespace gandry
