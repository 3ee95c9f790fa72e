#include "foundation/errors/koerror.h"
#include "foundation/os/bos.h"
#include "foundation/os/bosinternal.h"
#include "platform/win32.h"

namespace {
const unsigned char emptyText[] = "";
}

void bosRaiseRuntimeError(int code, const unsigned char* name) {
    const unsigned char* param = name ? name : emptyText;
    switch (code) {
    case crtENOENT:
        koRaiseError(bosErrNotFound) << param;
        break;
    case crtEBADF:
        koRaiseError(bosErrBadHandle);
        break;
    case crtENOMEM:
        koRaiseError(bosErrNoMemory);
        break;
    case crtEACCES:
        koRaiseError(bosErrAccess) << param;
        break;
    case crtEMFILE:
        koRaiseError(bosErrTooManyFiles);
        break;
    case crtEDEADLOCK:
        koRaiseError(bosErrLocked);
        break;
    default:
        koRaiseError(bosErrSystem);
        break;
    }
}

int bosRuntimeErrorOf(DWORD code) {
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

void bosRaiseWindowsError(DWORD code, const unsigned char* name) {
    bosRaiseRuntimeError(bosRuntimeErrorOf(code), name);
}
