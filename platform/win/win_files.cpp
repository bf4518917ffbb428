#include "platform/win/win_files.h"

#include <windows.h>

#include "platform/win/win_error.h"

namespace gandry {

static_assert(ERROR_FILE_EXISTS == 80);

bool WinFiles::Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// Writes `bytes` into a file made with `disposition`; a file left half written is deleted.
Status WriteWhole(const std::string& path, std::string_view bytes, DWORD disposition) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return LastError();
  }
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  const SystemError error = LastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileA(path.c_str());
    return error;
  }
  return {};
}

}  // namespace

Status WinFiles::CreateNew(const std::string& path, std::string_view bytes) {
  return WriteWhole(path, bytes, CREATE_NEW);
}

Status WinFiles::ReplaceContents(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp";
  if (Status written = WriteWhole(temporary, bytes, CREATE_ALWAYS); !written) {
    return written;
  }
  // A rename within one volume: readers that open the file by name get either file whole.
  // The contents are not flushed first: the file is rewritten within a loop of the watchdog,
  // and a flush on every write would cost more than a lost copy after a power failure.
  if (!MoveFileExA(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const SystemError error = LastError();
    DeleteFileA(temporary.c_str());
    return error;
  }
  return {};
}

}  // namespace gandry
