#pragma once

#include <windows.h>

#include "platform/result.h"

namespace gandry {

// The calling thread's last error, for the result of a call that just failed.
inline SystemError LastError() {
  return SystemError{GetLastError()};
}

}  // namespace gandry
