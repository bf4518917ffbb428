#pragma once

#include <cstdint>

#include "platform/result.h"

// The Win32 error codes the program sorts into kinds or names in its tests, and the one
// translation from a code to its kind. Written out here without <windows.h>, so that the
// native fakes fail exactly as the Win32 calls do; win_error.cpp checks every number against
// the system's headers.
namespace gandry {

namespace win_error {
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kLockViolation = 33;
inline constexpr std::uint32_t kNotSupported = 50;
inline constexpr std::uint32_t kFileExists = 80;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kCallNotImplemented = 120;
inline constexpr std::uint32_t kInvalidLevel = 124;
inline constexpr std::uint32_t kDependentServicesRunning = 1051;
inline constexpr std::uint32_t kInvalidServiceControl = 1052;
inline constexpr std::uint32_t kServiceRequestTimeout = 1053;
inline constexpr std::uint32_t kServiceAlreadyRunning = 1056;
inline constexpr std::uint32_t kServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kServiceCannotAcceptControl = 1061;
inline constexpr std::uint32_t kServiceNotActive = 1062;
inline constexpr std::uint32_t kServiceSpecificError = 1066;
inline constexpr std::uint32_t kProcessAborted = 1067;
inline constexpr std::uint32_t kServiceMarkedForDelete = 1072;
inline constexpr std::uint32_t kServiceExists = 1073;
inline constexpr std::uint32_t kTimeout = 1460;
inline constexpr std::uint32_t kEventLogFileCorrupt = 1500;
inline constexpr std::uint32_t kRpcServerTooBusy = 1723;
inline constexpr std::uint32_t kRpcCallFailed = 1726;
inline constexpr std::uint32_t kRpcInvalidBound = 1734;
}  // namespace win_error

// The kind of a Win32 error code.
constexpr ErrorKind ErrorKindOf(std::uint32_t code) {
  using namespace win_error;
  switch (code) {
    case kAccessDenied:
      return ErrorKind::kAccessDenied;
    case kServiceDoesNotExist:
      return ErrorKind::kNoSuchService;
    case kServiceAlreadyRunning:
      return ErrorKind::kAlreadyRunning;
    case kServiceNotActive:
      return ErrorKind::kNotRunning;
    case kDependentServicesRunning:
      return ErrorKind::kDependentsRunning;
    case kServiceMarkedForDelete:
      return ErrorKind::kMarkedForDelete;
    case kServiceRequestTimeout:
    case kTimeout:
      return ErrorKind::kTimedOut;
    // Older systems answer a setting or an information level they do not know with an invalid
    // parameter or level rather than with "not supported".
    case kNotSupported:
    case kInvalidParameter:
    case kCallNotImplemented:
    case kInvalidLevel:
      return ErrorKind::kNotSupported;
    case kSharingViolation:
      return ErrorKind::kBusy;
    default:
      return ErrorKind::kOther;
  }
}

// The error a Win32 call reports with `code`.
constexpr SystemError WinError(std::uint32_t code) {
  return SystemError{ErrorKindOf(code), code};
}

// An error of `kind` with the code Windows most often gives for it; kOther has none.
constexpr SystemError ErrorOf(ErrorKind kind) {
  using namespace win_error;
  switch (kind) {
    case ErrorKind::kAccessDenied:
      return WinError(kAccessDenied);
    case ErrorKind::kNoSuchService:
      return WinError(kServiceDoesNotExist);
    case ErrorKind::kAlreadyRunning:
      return WinError(kServiceAlreadyRunning);
    case ErrorKind::kNotRunning:
      return WinError(kServiceNotActive);
    case ErrorKind::kDependentsRunning:
      return WinError(kDependentServicesRunning);
    case ErrorKind::kMarkedForDelete:
      return WinError(kServiceMarkedForDelete);
    case ErrorKind::kTimedOut:
      return WinError(kServiceRequestTimeout);
    case ErrorKind::kNotSupported:
      return WinError(kNotSupported);
    case ErrorKind::kBusy:
      return WinError(kSharingViolation);
    case ErrorKind::kOther:
      break;
  }
  return SystemError{};
}

}  // namespace gandry
