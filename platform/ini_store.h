#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/result.h"

namespace gandry {

// Why an existing INI file is not read: it begins with a UTF-8 byte-order mark. The profile
// functions of some Windows versions take the mark for part of the first line, so the first
// section would be lost without a word. An application-defined code (bit 29 set, 0x20EFBBBF),
// which the system itself never uses.
inline constexpr std::uint32_t kErrorIniByteOrderMark = 0x20EFBBBF;

// One INI file as the platform's profile functions read it: section and key names compare
// without regard to letter case, blanks around names and values are dropped, a key listing
// keeps file order and repeats a key that is on more than one line, and a read of such a key
// yields the value of its first line.
class IniFile {
 public:
  virtual ~IniFile() = default;
  // False when there was no file; it then reads as empty.
  virtual bool Exists() const = 0;
  // The section names in file order.
  virtual std::vector<std::string> ListSections() = 0;
  // The section's key names in file order; empty when the section is missing.
  virtual std::vector<std::string> ListKeys(const std::string& section) = 0;
  // The value of the key's first line (up to 2047 characters); empty when the key is missing.
  virtual std::string ReadValue(const std::string& section, const std::string& key) = 0;
};

// An edit of one INI file: a copy that reads and changes like the file, while no other edit
// of that file can begin (in any process). The file itself changes only at Commit, in one
// step, so a reader sees it as it was or as edited and a crash leaves it as it was. The lines
// an edit does not touch, comments and their order stay byte for byte.
class IniEdit : public IniFile {
 public:
  // Sets the value of the key's first line, adding the key (and the section) when missing.
  virtual Status WriteValue(const std::string& section, const std::string& key,
                            const std::string& value) = 0;
  // Removes the key's first line; a later line with the same key stays. Succeeds when there
  // is none.
  virtual Status DeleteKey(const std::string& section, const std::string& key) = 0;
  // Removes the section with all its lines. Succeeds when there is none.
  virtual Status DeleteSection(const std::string& section) = 0;
  // Puts the edited copy in the file's place, creating the file when there was none. An edit
  // dropped without it changes nothing.
  virtual Status Commit() = 0;
};

class IniStore {
 public:
  virtual ~IniStore() = default;
  // Opens the file for reading; while the result lives, nobody can write the file. A missing
  // file is no failure. An existing one that cannot be read fails with the system's error
  // code, or with kErrorIniByteOrderMark.
  virtual Result<std::unique_ptr<IniFile>> Read(const std::string& path) = 0;
  // Begins an edit. Fails with ErrorKind::kBusy while another edit of the file is under way, and
  // like Read when the file cannot be read: such a file is never written.
  virtual Result<std::unique_ptr<IniEdit>> Edit(const std::string& path) = 0;
};

}  // namespace gandry
