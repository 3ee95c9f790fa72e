#include "platform/system.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <mutex>
#include <string>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// setenv and getenv are not safe against each other; the layer's own calls take this lock.
std::mutex& environmentLock() {
    static std::mutex* m = new std::mutex; // outlives static destructors
    return *m;
}

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

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (!name || !*name || strchr(name, '=')) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::string value;
    {
        std::lock_guard<std::mutex> g(environmentLock());
        const char* v = getenv(name);
        if (!v) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        value = v;
    }
    if (value.size() >= size || !buffer) return DWORD(value.size() + 1);
    memcpy(buffer, value.c_str(), value.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return DWORD(value.size());
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (!name || !*name || strchr(name, '=')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> g(environmentLock());
    int rc = value ? setenv(name, value, 1) : unsetenv(name);
    if (rc != 0) {
        SetLastError(koWindowsErrorOfErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char host[256];
    if (gethostname(host, sizeof host) != 0) {
        SetLastError(koWindowsErrorOfErrno(errno));
        return FALSE;
    }
    host[sizeof host - 1] = 0;
    size_t n = strcspn(host, ".");
    if (n > MAX_COMPUTERNAME_LENGTH) n = MAX_COMPUTERNAME_LENGTH;
    if (!buffer || *size <= n) {
        *size = DWORD(n + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    memcpy(buffer, host, n);
    buffer[n] = 0;
    *size = DWORD(n);
    return TRUE;
}

BOOL GetUserNameA(LPSTR buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct passwd pw;
    struct passwd* found = nullptr;
    char scratch[4096];
    std::string name;
    if (getpwuid_r(geteuid(), &pw, scratch, sizeof scratch, &found) == 0 && found && found->pw_name)
        name = found->pw_name;
    else {
        // A user without a password entry (containers) is still somebody: name it by its number.
        name = std::to_string(unsigned(geteuid()));
    }
    if (!buffer || *size <= name.size()) {
        *size = DWORD(name.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, name.c_str(), name.size() + 1);
    *size = DWORD(name.size() + 1);
    return TRUE;
}
