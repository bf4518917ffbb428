#include "platform/win/win_error_text.h"

#include <windows.h>

namespace gandry {

std::string SystemErrorText(std::uint32_t error) {
  // Room for 255 characters: the size passed counts the terminating null.
  char text[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  return std::string(text, length);
}

}  // namespace gandry
