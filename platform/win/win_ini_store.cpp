#include "platform/win/win_ini_store.h"

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/win/win_error.h"

namespace gandry {

static_assert((kErrorIniByteOrderMark & APPLICATION_ERROR_MASK) != 0);

namespace {

constexpr DWORD kValueBufferSize = 2048;
constexpr std::size_t kKeyListInitialSize = 16384;
// Far beyond any real section; only guards against a listing that never stops growing.
constexpr std::size_t kKeyListMaxSize = std::size_t{1} << 26;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(FileHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle& operator=(FileHandle&&) = delete;
  ~FileHandle() { Close(); }

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (valid()) {
      CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    }
  }

 private:
  HANDLE handle_;
};

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The errors by which a file or a rename says that another program holds the file for now
// become the one code the callers try again on.
SystemError Normalized(SystemError error) {
  if (error.code == ERROR_LOCK_VIOLATION || error.code == ERROR_UNABLE_TO_REMOVE_REPLACED) {
    return ErrorOf(ErrorKind::kBusy);
  }
  return error;
}

// Opens an existing file for reading with the given sharing; an invalid handle when there is
// no such file.
Result<FileHandle> OpenExisting(const std::string& path, DWORD sharing) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid() && !IsMissing(GetLastError())) {
    return Normalized(LastError());
  }
  return file;
}

// Up to `limit` bytes from the file's current position on.
Result<std::string> ReadBytes(HANDLE file, std::size_t limit) {
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < limit) {
    DWORD read = 0;
    const auto wanted = static_cast<DWORD>(std::min(sizeof buffer, limit - bytes.size()));
    if (!ReadFile(file, buffer, wanted, &read, nullptr)) {
      return LastError();
    }
    if (read == 0) {
      break;
    }
    bytes.append(buffer, read);
  }
  return bytes;
}

bool BeginsWithByteOrderMark(std::string_view bytes) {
  return bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
}

Status WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
      return LastError();
    }
    bytes.remove_prefix(written);
  }
  return {};
}

// `list(buffer, size)` fills a listing of names, each ending in a NUL, and one more NUL. A
// listing cut at the buffer's end is answered with the buffer's size minus two, so the buffer
// grows until the answer is shorter.
template <class List>
std::vector<std::string> ListProfileNames(List list) {
  std::vector<char> buffer(kKeyListInitialSize);
  DWORD length = 0;
  for (;;) {
    const auto size = static_cast<DWORD>(buffer.size());
    length = list(buffer.data(), size);
    if (length + 2 < size || buffer.size() >= kKeyListMaxSize) {
      break;
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
  const std::size_t end = std::min<std::size_t>(length, buffer.size());

  std::vector<std::string> names;
  std::size_t begin = 0;
  while (begin < end) {
    const auto nul = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(begin),
                               buffer.begin() + static_cast<std::ptrdiff_t>(end), '\0');
    const auto stop = static_cast<std::size_t>(nul - buffer.begin());
    if (stop > begin) {
      names.emplace_back(buffer.data() + begin, stop - begin);
    }
    begin = stop + 1;
  }
  return names;
}

std::vector<std::string> ListProfileKeys(const std::string& path, const std::string& section) {
  return ListProfileNames([&](char* buffer, DWORD size) {
    return GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer, size, path.c_str());
  });
}

std::vector<std::string> ListProfileSections(const std::string& path) {
  return ListProfileNames([&](char* buffer, DWORD size) {
    return GetPrivateProfileSectionNamesA(buffer, size, path.c_str());
  });
}

std::string ReadProfileValue(const std::string& path, const std::string& section,
                             const std::string& key) {
  char buffer[kValueBufferSize];
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer,
                                                kValueBufferSize, path.c_str());
  return std::string(buffer, std::min<DWORD>(length, kValueBufferSize - 1));
}

// A file held open for reading, with writes and replacement shut out, while the profile
// functions read it by its name.
class WinIniFile final : public IniFile {
 public:
  WinIniFile(std::string path, FileHandle hold) : path_(std::move(path)), hold_(std::move(hold)) {}

  bool Exists() const override { return hold_.valid(); }
  std::vector<std::string> ListSections() override {
    return Exists() ? ListProfileSections(path_) : std::vector<std::string>{};
  }
  std::vector<std::string> ListKeys(const std::string& section) override {
    return Exists() ? ListProfileKeys(path_, section) : std::vector<std::string>{};
  }
  std::string ReadValue(const std::string& section, const std::string& key) override {
    return Exists() ? ReadProfileValue(path_, section, key) : std::string();
  }

 private:
  std::string path_;
  FileHandle hold_;
};

class WinIniEdit final : public IniEdit {
 public:
  WinIniEdit(std::string path, std::string copy, FileHandle lock, FileHandle original)
      : path_(std::move(path)),
        copy_(std::move(copy)),
        exists_(original.valid()),
        lock_(std::move(lock)),
        original_(std::move(original)) {}
  WinIniEdit(const WinIniEdit&) = delete;
  WinIniEdit& operator=(const WinIniEdit&) = delete;
  // The copy goes before the lock is released.
  ~WinIniEdit() override {
    if (!committed_) {
      DeleteFileA(copy_.c_str());
    }
  }

  bool Exists() const override { return exists_; }
  std::vector<std::string> ListSections() override { return ListProfileSections(copy_); }
  std::vector<std::string> ListKeys(const std::string& section) override {
    return ListProfileKeys(copy_, section);
  }
  std::string ReadValue(const std::string& section, const std::string& key) override {
    return ReadProfileValue(copy_, section, key);
  }
  Status WriteValue(const std::string& section, const std::string& key,
                    const std::string& value) override {
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), copy_.c_str())) {
      return LastError();
    }
    return {};
  }
  Status DeleteKey(const std::string& section, const std::string& key) override {
    // A null value removes the key's first line.
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, copy_.c_str())) {
      return LastError();
    }
    return {};
  }
  Status DeleteSection(const std::string& section) override {
    // A null key removes the section.
    if (!WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, copy_.c_str())) {
      return LastError();
    }
    return {};
  }

  Status Commit() override {
    // The profile functions may keep a file they wrote in a cache until asked to flush it; the
    // copy's bytes must be on the disk before its name is, or a power loss could leave the
    // new name on an empty file.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy_.c_str());
    {
      FileHandle copy(CreateFileA(copy_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!copy.valid() || !FlushFileBuffers(copy.get())) {
        return Normalized(LastError());
      }
    }
    // Held so far to keep other writers out; the replacement needs it closed.
    original_.Close();
    if (!exists_) {
      // Without replacing: a file that someone created meanwhile is not overwritten.
      if (!MoveFileExA(copy_.c_str(), path_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Normalized(LastError());
      }
    } else if (!ReplaceFileA(path_.c_str(), copy_.c_str(), nullptr, 0, nullptr, nullptr)) {
      const SystemError error = LastError();
      // Without a backup name this one means that the file has been moved away but the copy
      // not yet moved in: finish the move, so that the file is never missing.
      if (error.code != ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
          !MoveFileExA(copy_.c_str(), path_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Normalized(error);
      }
    }
    committed_ = true;
    return {};
  }

 private:
  std::string path_;
  std::string copy_;
  bool exists_;
  bool committed_ = false;
  FileHandle lock_;
  FileHandle original_;
};

}  // namespace

Result<std::unique_ptr<IniFile>> WinIniStore::Read(const std::string& path) {
  // Other readers may share it; writers, and a replacement by an edit, wait until it is closed.
  Result<FileHandle> hold = OpenExisting(path, FILE_SHARE_READ);
  if (!hold) {
    return hold.error();
  }
  if (hold->valid()) {
    Result<std::string> start = ReadBytes(hold->get(), kByteOrderMark.size());
    if (!start) {
      return start.error();
    }
    if (BeginsWithByteOrderMark(*start)) {
      return SystemError{ErrorKind::kOther, kErrorIniByteOrderMark};
    }
  }
  return std::unique_ptr<IniFile>(std::make_unique<WinIniFile>(path, std::move(*hold)));
}

Result<std::unique_ptr<IniEdit>> WinIniStore::Edit(const std::string& path) {
  const std::string lock_path = path + ".lock";
  FileHandle lock(CreateFileA(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr));
  if (!lock.valid()) {
    return Normalized(LastError());
  }
  // Readers may share it; writers in place wait, the replacement at the end does not.
  Result<FileHandle> original = OpenExisting(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
  if (!original) {
    return original.error();
  }
  std::string bytes;
  if (original->valid()) {
    Result<std::string> all = ReadBytes(original->get(), static_cast<std::size_t>(-1));
    if (!all) {
      return all.error();
    }
    if (BeginsWithByteOrderMark(*all)) {
      return SystemError{ErrorKind::kOther, kErrorIniByteOrderMark};
    }
    bytes = std::move(*all);
  }
  // Made afresh, also over a copy that an edit cut short by a crash left behind.
  const std::string copy_path = path + ".tmp";
  SetFileAttributesA(copy_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  FileHandle copy(CreateFileA(copy_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy.valid()) {
    return Normalized(LastError());
  }
  const Status written = WriteAll(copy.get(), bytes);
  copy.Close();
  if (!written) {
    DeleteFileA(copy_path.c_str());
    return written.error();
  }
  return std::unique_ptr<IniEdit>(
      std::make_unique<WinIniEdit>(path, copy_path, std::move(lock), std::move(*original)));
}

}  // namespace gandry
