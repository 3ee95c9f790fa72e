#include "platform/system.h"
#include "platform/oserror.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <mutex>
#include <string>

namespace {

// setenv and getenv are not safe against each other; the layer's own calls take this lock.
std::mutex& environmentLock() {
    static std::mutex* m = new std::mutex; // outlives static destructors
    return *m;
}

} // namespace

bool koGetEnvironment(const char* name, std::string* value) {
    std::lock_guard<std::mutex> g(environmentLock());
    const char* v = getenv(name);
    if (!v) return false;
    if (value) *value = v;
    return true;
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
