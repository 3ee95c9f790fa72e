// Files detached from their names, reopened through the process's descriptor links.
#include "platform/detachedfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/oserror.h"
#include "platform/system.h"

namespace {

BOOL fail(int e) {
    koFailErrno(e);
    return FALSE;
}

} // namespace

BOOL koDetachFile(int fd, LPCSTR name, int* keeper, LPSTR reopenName) {
    if (keeper) *keeper = -1;
    if (fd < 0 || !name || !keeper || !reopenName) return fail(EINVAL);
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    // A path-only descriptor keeps the file alive without counting as an open for I/O.
    int k = open(link, O_PATH | O_CLOEXEC);
    if (k < 0) return fail(errno);
    struct stat mine, named;
    if (fstat(k, &mine) != 0) {
        int e = errno;
        close(k);
        return fail(e);
    }
    // Never remove a name that someone has pointed at another file meanwhile.
    if (lstat(name, &named) != 0 || named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
        close(k);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (unlink(name) != 0) {
        int e = errno;
        close(k);
        return fail(e);
    }
    snprintf(reopenName, MAX_PATH, "/proc/self/fd/%d", k);
    *keeper = k;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL koReleaseKeeper(int keeper) {
    if (keeper < 0) return TRUE;
    if (close(keeper) != 0 && errno != EINTR) return fail(errno);
    return TRUE;
}
