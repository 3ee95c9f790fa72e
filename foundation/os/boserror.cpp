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

void bosRaiseWindowsError(DWORD code, const unsigned char* name) {
    bosRaiseRuntimeError(koRuntimeErrnoOfWindowsError(code), name);
}
