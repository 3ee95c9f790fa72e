// Environment, machine and user names.
#include <cstring>

#include "foundation/os/bos.h"
#include "platform/win32.h"

namespace {

constexpr DWORD envRoom = 700;

// Copies a name whole when it is shorter than len, else its first len characters and a terminator
// at dst[len].
void copyCut(char* dst, uint32_t len, const char* src) {
    size_t n = strlen(src);
    if (n < len) {
        memcpy(dst, src, n + 1);
        return;
    }
    memcpy(dst, src, len);
    dst[len] = 0;
}

} // namespace

unsigned char* bosGetEnv(const unsigned char* var) {
    // One buffer per thread: a value handed to one thread is never overwritten by another's call.
    thread_local unsigned char value[envRoom];
    if (!var) return nullptr;
    DWORD n = GetEnvironmentVariableA(reinterpret_cast<const char*>(var), reinterpret_cast<char*>(value), envRoom);
    if (n == 0 || n >= envRoom) return nullptr;
    return value;
}

KoStatus bosGetMachineName(char* dst, uint32_t len) {
    if (!dst || len == 0) return koSuccess;
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return koFailure;
    copyCut(dst, len, name);
    return koSuccess;
}

KoStatus bosGetHostUser(char* dst, uint32_t len) {
    if (!dst || len == 0) return koSuccess;
    char name[UNLEN + 1];
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) return koFailure;
    name[255] = 0; // at most 255 characters
    copyCut(dst, len, name);
    return koSuccess;
}
