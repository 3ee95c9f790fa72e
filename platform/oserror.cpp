#include "platform/oserror.h"
#include "platform/file.h"
#include "platform/system.h"

#include <errno.h>

// Every failure of the layer is translated here, in one direction: a system error number becomes a
// Windows error code, and that code becomes the runtime's error number by the Windows runtime's own
// table, so a failure reads the same whichever road (handle or descriptor) it took.

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
thread_local int runtimeErrno = 0;
} // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

DWORD koWindowsErrorOfErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;
    case EDEADLK:
    case ENOLCK:
        return ERROR_LOCK_VIOLATION;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
        return ERROR_BUSY;
    case ESPIPE:
        return ERROR_SEEK_ON_DEVICE;
    case EPIPE:
        return ERROR_BROKEN_PIPE;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

int koRuntimeErrnoOfWindowsError(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case 15: // invalid drive
    case ERROR_NO_MORE_FILES:
    case 53:  // bad network path
    case 67:  // bad network name
    case 161: // bad path name
    case ERROR_FILENAME_EXCED_RANGE:
        return crtENOENT;
    case ERROR_TOO_MANY_OPEN_FILES:
        return crtEMFILE;
    case ERROR_INVALID_HANDLE:
    case 114: // invalid target handle
    case 130: // direct access handle
        return crtEBADF;
    case 7: // arena trashed
    case ERROR_NOT_ENOUGH_MEMORY:
    case 9: // invalid block
    case ERROR_OUTOFMEMORY:
    case 1816: // not enough quota
        return crtENOMEM;
    case ERROR_ACCESS_DENIED:
    case 16:  // current directory
    case 65:  // network access denied
    case 82:  // cannot make
    case 83:  // fail I24
    case 108: // drive locked
    case ERROR_SEEK_ON_DEVICE:
    case 158: // not locked
    case 167: // lock failed
        return crtEACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return crtEEXIST;
    case ERROR_DISK_FULL:
        return crtENOSPC;
    case ERROR_DIR_NOT_EMPTY:
        return crtENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE:
        return crtEXDEV;
    default:
        // Write-protect through sharing-buffer-exceeded are all access problems to the runtime.
        if (code >= ERROR_WRITE_PROTECT && code <= 36) return crtEACCES;
        return crtEINVAL;
    }
}

void koFailErrno(int error) {
    DWORD code = koWindowsErrorOfErrno(error);
    lastError = code;
    runtimeErrno = koRuntimeErrnoOfWindowsError(code);
}

void koFailWindows(DWORD code, int runtime) {
    lastError = code;
    runtimeErrno = runtime;
}

void koClearErrors() {
    lastError = ERROR_SUCCESS;
    runtimeErrno = 0;
}

int _get_errno(int* value) {
    if (!value) return crtEINVAL;
    *value = runtimeErrno;
    return 0;
}

int _set_errno(int value) {
    runtimeErrno = value;
    return 0;
}
