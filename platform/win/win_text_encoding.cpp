#include "platform/win/win_text_encoding.h"

#include <windows.h>

#include <limits>

#include "platform/win/win_error.h"

namespace gandry {

Result<std::wstring> AnsiToWide(std::string_view text) {
  if (text.empty()) {
    return std::wstring();
  }
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return WinError(ERROR_INVALID_PARAMETER);
  }
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size == 0) {
    return LastError();
  }
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size) == 0) {
    return LastError();
  }
  return wide;
}

Result<std::string> WinTextEncoding::AnsiToUtf8(std::string_view text) {
  Result<std::wstring> wide = AnsiToWide(text);
  if (!wide) {
    return wide.error();
  }
  if (wide->empty()) {
    return std::string();
  }
  const int length = static_cast<int>(wide->size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide->data(), length, nullptr, 0, nullptr, nullptr);
  if (size == 0) {
    return LastError();
  }
  std::string utf8(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide->data(), length, utf8.data(), size, nullptr, nullptr) ==
      0) {
    return LastError();
  }
  return utf8;
}

}  // namespace gandry
