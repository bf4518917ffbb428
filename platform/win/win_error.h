#pragma once

#include <windows.h>

#include "platform/result.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// The calling thread's last error, for the result of a call that just failed.
inline SystemError LastError() {
  return WinError(GetLastError());
}

}  // namespace gandry
