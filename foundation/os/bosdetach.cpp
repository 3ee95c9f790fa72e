// Detaching scratch files from their names.
#include "foundation/os/bosdetach.h"

#include <cstring>

#include "foundation/os/bosinternal.h"
#include "platform/win32.h"

KoStatus bosFileDetach(unsigned char* name, int handle, int* keeper) {
    *keeper = 0;
    char reopen[MAX_PATH];
    int k = -1;
    if (!koDetachFile(handle - 1, reinterpret_cast<const char*>(name), &k, reopen)) {
        bosRaiseWindowsError(GetLastError(), name);
        return koFailure;
    }
    // The reopening name is short; it always fits the caller's path buffer.
    strncpy(reinterpret_cast<char*>(name), reopen, 255);
    name[255] = 0;
    *keeper = k + 1;
    return koSuccess;
}

void bosFileRelease(int keeper) {
    if (keeper != 0) koReleaseKeeper(keeper - 1);
}
