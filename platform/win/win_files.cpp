#include "platform/win/win_files.h"

#include <windows.h>

#include "platform/win/win_error.h"

namespace gandry {

static_assert(ERROR_FILE_EXISTS == 80);

bool WinFiles::Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Status WinFiles::CreateNew(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

}  // namespace gandry
