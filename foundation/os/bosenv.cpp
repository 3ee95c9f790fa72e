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

// Asks the system for a name (get is GetComputerNameA or GetUserNameA), keeps at most longest
// characters of it and hands it out cut to len.
KoStatus systemName(char* dst, uint32_t len, BOOL (*get)(LPSTR, LPDWORD), size_t longest) {
    if (!dst || len == 0) return koSuccess;
    char name[UNLEN + 1];
    DWORD size = sizeof name;
    if (!get(name, &size)) return koFailure;
    name[longest] = 0;
    copyCut(dst, len, name);
    return koSuccess;
}

} // namespace

unsigned char* bosGetEnv(const unsigned char* var) {
    // One buffer per thread: a value handed to one thread is never overwritten by another's call.
    thread_local unsigned char value[envRoom];
    if (!var) return nullptr;
    DWORD n =
        GetEnvironmentVariableA(reinterpret_cast<const char*>(var), reinterpret_cast<char*>(value), envRoom);
    if (n == 0 || n >= envRoom) return nullptr;
    return value;
}

KoStatus bosGetMachineName(char* dst, uint32_t len) {
    return systemName(dst, len, GetComputerNameA, MAX_COMPUTERNAME_LENGTH);
}

KoStatus bosGetHostUser(char* dst, uint32_t len) {
    return systemName(dst, len, GetUserNameA, 255);
}
