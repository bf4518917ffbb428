#include <windows.h>

#include "platform/win/win_error_codes.h"

namespace gandry {

namespace {

using namespace win_error;

static_assert(kFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kLockViolation == ERROR_LOCK_VIOLATION);
static_assert(kNotSupported == ERROR_NOT_SUPPORTED);
static_assert(kFileExists == ERROR_FILE_EXISTS);
static_assert(kInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kCallNotImplemented == ERROR_CALL_NOT_IMPLEMENTED);
static_assert(kInvalidLevel == ERROR_INVALID_LEVEL);
static_assert(kDependentServicesRunning == ERROR_DEPENDENT_SERVICES_RUNNING);
static_assert(kInvalidServiceControl == ERROR_INVALID_SERVICE_CONTROL);
static_assert(kServiceRequestTimeout == ERROR_SERVICE_REQUEST_TIMEOUT);
static_assert(kServiceAlreadyRunning == ERROR_SERVICE_ALREADY_RUNNING);
static_assert(kServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(kServiceCannotAcceptControl == ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
static_assert(kServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR);
static_assert(kProcessAborted == ERROR_PROCESS_ABORTED);
static_assert(kServiceMarkedForDelete == ERROR_SERVICE_MARKED_FOR_DELETE);
static_assert(kServiceExists == ERROR_SERVICE_EXISTS);
static_assert(kTimeout == ERROR_TIMEOUT);
static_assert(kEventLogFileCorrupt == ERROR_EVENTLOG_FILE_CORRUPT);
static_assert(kRpcServerTooBusy == RPC_S_SERVER_TOO_BUSY);
static_assert(kRpcCallFailed == RPC_S_CALL_FAILED);
static_assert(kRpcInvalidBound == RPC_S_INVALID_BOUND);

static_assert(ErrorKindOf(ERROR_SERVICE_DOES_NOT_EXIST) == ErrorKind::kNoSuchService);
static_assert(ErrorOf(ErrorKind::kNotRunning).code == ERROR_SERVICE_NOT_ACTIVE);

}  // namespace

}  // namespace gandry
