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
    const void* end = std::memchr(reopen, 0, 255);
    size_t n = end ? static_cast<size_t>(static_cast<const char*>(end) - reopen) : 255;
    std::memcpy(name, reopen, n);
    name[n] = 0;
    *keeper = k + 1;
    return koSuccess;
}

void bosFileRelease(int keeper) {
    if (keeper != 0) koReleaseKeeper(keeper - 1);
}
