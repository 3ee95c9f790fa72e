// The data-source file behind "ODBC.INI": its name, the lock over a request's read-modify-write and
// the copy that puts it back after a write that did not land.
#include "setup/profilefile.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/sync/kocriticalsection.h"
#include "foundation/text/strcomp.h"
#include "platform/win32.h"

#include <cstdio>
#include <cstring>

namespace {

const char kInstallerName[] = "libodbcinst.so.2";
// How long a request waits for another one to finish with the file: generous, since a request only
// holds it for a few milliseconds; a holder that never lets go is reported, not waited for forever.
const DWORD kLockWaitMs = 30000;

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

// The lock of this process: threads queue here, so the file lock is taken once per process.
struct ProcessLock {
    KoCriticalSection section;
    int depth = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
};
ProcessLock& processLock() {
    static ProcessLock lock;
    return lock;
}

// The whole content of a file in an owned buffer (one byte more, a NUL); 0 when it cannot be read
// or memory runs out. A missing file reads as empty.
bool readWhole(const char* path, unsigned char** text, uint32_t* length) {
    *text = nullptr;
    *length = 0;
    HANDLE in = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return false;
        *text = static_cast<unsigned char*>(ramAllocZ(1));
        return *text != nullptr;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(in, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size < 0x40000000u;
    unsigned char* buffer = ok ? static_cast<unsigned char*>(ramAlloc(size + 1)) : nullptr;
    uint32_t total = 0;
    ok = buffer != nullptr;
    while (ok && total < size) {
        DWORD got = 0;
        ok = ReadFile(in, buffer + total, size - total, &got, nullptr) && got > 0;
        total += got;
    }
    CloseHandle(in);
    if (!ok) {
        ramFree(buffer);
        return false;
    }
    buffer[total] = 0;
    *text = buffer;
    *length = total;
    return true;
}

// Writes a whole file, flushed to the device; 0 when any part cannot be written.
bool writeWhole(const char* path, const unsigned char* text, uint32_t length) {
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = (length == 0 || (WriteFile(out, text, length, &put, nullptr) && put == length));
    ok = FlushFileBuffers(out) && ok;
    CloseHandle(out);
    if (!ok) DeleteFileA(path);
    return ok;
}

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool sameName(const unsigned char* a, uint32_t la, const unsigned char* b) {
    return b &&
           strCompareCi(a, la, b, static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(b)))) == 0;
}

// The file's sections and entries in a form that ignores what a rewrite may change (blanks around
// names and values, empty and comment lines), leaving out the sections named except1 and except2.
// out has room for length + 2 bytes; returns the length written. *present: a section named except1
// is in the file.
uint32_t canonical(const unsigned char* text, uint32_t length, const unsigned char* except1,
                   const unsigned char* except2, unsigned char* out, bool* present) {
    uint32_t n = 0;
    bool skipping = false;
    *present = false;
    for (uint32_t i = 0; i < length;) {
        uint32_t end = i;
        while (end < length && text[end] != '\n')
            ++end;
        uint32_t a = i, b = end;
        i = end + 1;
        while (a < b && isBlank(text[a]))
            ++a;
        while (b > a && isBlank(text[b - 1]))
            --b;
        if (a == b || text[a] == ';' || text[a] == '#') continue;
        if (text[a] == '[') {
            uint32_t close = a + 1;
            while (close < b && text[close] != ']')
                ++close;
            const unsigned char* name = text + a + 1;
            uint32_t nameLength = close - a - 1;
            skipping = sameName(name, nameLength, except1) || sameName(name, nameLength, except2);
            if (sameName(name, nameLength, except1)) *present = true;
        }
        if (skipping) continue;
        const unsigned char* eq = static_cast<const unsigned char*>(std::memchr(text + a, '=', b - a));
        if (text[a] != '[' && eq) {
            uint32_t k = static_cast<uint32_t>(eq - text), v = k + 1;
            while (k > a && isBlank(text[k - 1]))
                --k;
            while (v < b && isBlank(text[v]))
                ++v;
            std::memcpy(out + n, text + a, k - a);
            n += k - a;
            out[n++] = '=';
            std::memcpy(out + n, text + v, b - v);
            n += b - v;
        } else {
            std::memcpy(out + n, text + a, b - a);
            n += b - a;
        }
        out[n++] = '\n';
    }
    return n;
}

// The folder part of a file name ("." for a bare name).
void folderOf(const char* path, char* folder, size_t size) {
    const char* slash = std::strrchr(path, '/');
    if (!slash) {
        std::snprintf(folder, size, ".");
    } else if (slash == path) {
        std::snprintf(folder, size, "/");
    } else {
        std::snprintf(folder, size, "%.*s", static_cast<int>(slash - path), path);
    }
}

} // namespace

int koProfileFilePath(char* path, uint32_t size) {
    if (!path || size == 0) return 0;
    path[0] = 0;
    HMODULE installer = LoadLibraryA(kInstallerName);
    if (!installer) return 0;
    typedef BOOL (*ModeFn)(UWORD*);
    typedef BOOL (*NameFn)(char*, BOOL);
    auto mode = reinterpret_cast<ModeFn>(GetProcAddress(installer, "SQLGetConfigMode"));
    auto user = reinterpret_cast<NameFn>(GetProcAddress(installer, "_odbcinst_UserINI"));
    auto system = reinterpret_cast<NameFn>(GetProcAddress(installer, "_odbcinst_SystemINI"));
    int found = 0;
    UWORD current = ODBC_BOTH_DSN;
    if (mode && user && system && mode(&current)) {
        // The installer keeps names of up to its FILENAME_MAX.
        char name[4096 + 64] = "";
        // With both modes allowed, data sources are written to the user's file.
        if ((current == ODBC_SYSTEM_DSN ? system : user)(name, FALSE) && name[0] &&
            std::strlen(name) < size) {
            std::strcpy(path, name);
            found = 1;
        }
    }
    FreeLibrary(installer);
    return found;
}

KoStatus KoProfileLock::acquire() {
    if (held_) return koSuccess;
    ProcessLock& lock = processLock();
    lock.section.enter();
    if (lock.depth++ > 0) {
        held_ = true;
        return koSuccess;
    }
    char path[4096 + 8];
    if (koProfileFilePath(path, 4096)) {
        std::strcat(path, ".lock");
        // An exclusive handle on the lock file excludes every other such handle, here and in other
        // processes; the file itself stays empty and is left in place for the next request.
        DWORD waited = 0, pause = 1;
        for (;;) {
            lock.file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
            if (lock.file != INVALID_HANDLE_VALUE) break;
            DWORD error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION || waited >= kLockWaitMs) {
                --lock.depth;
                lock.section.leave();
                path[std::strlen(path) - 5] = 0;
                if (error == ERROR_SHARING_VIOLATION)
                    koRaiseError(koErrSetupLockTimeout) << U(path);
                else if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)
                    koRaiseError(koErrSetupNoFolder) << U(path);
                else
                    koRaiseError(koErrSetupNotWritable) << U(path);
                return koFailure;
            }
            Sleep(pause);
            waited += pause;
            if (pause < 16) pause *= 2;
        }
    }
    held_ = true;
    return koSuccess;
}

void KoProfileLock::release() {
    if (!held_) return;
    held_ = false;
    ProcessLock& lock = processLock();
    if (--lock.depth == 0 && lock.file != INVALID_HANDLE_VALUE) {
        CloseHandle(lock.file);
        lock.file = INVALID_HANDLE_VALUE;
    }
    lock.section.leave();
}

KoProfileSnapshot::~KoProfileSnapshot() {
    if (taken_ && existed_) DeleteFileA(copy_);
    ramFree(before_);
}

KoStatus KoProfileSnapshot::take() {
    if (taken_) return koSuccess;
    if (!koProfileFilePath(path_, sizeof path_)) return koSuccess;
    char folder[sizeof path_];
    folderOf(path_, folder, sizeof folder);
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        koRaiseError(koErrSetupNoFolder) << U(path_);
        return koFailure;
    }
    existed_ = GetFileAttributesA(path_) != INVALID_FILE_ATTRIBUTES;
    if (existed_) {
        // Opening for writing without changing anything tells a read-only file before any write.
        HANDLE probe = CreateFileA(path_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            koRaiseError(koErrSetupNotWritable) << U(path_);
            return koFailure;
        }
        CloseHandle(probe);
        if (!readWhole(path_, &before_, &beforeLength_)) {
            koRaiseError(koErrSetupNotWritable) << U(path_);
            return koFailure;
        }
        std::snprintf(copy_, sizeof copy_, "%s.saved", path_);
        if (!writeWhole(copy_, before_, beforeLength_)) {
            koRaiseError(koErrSetupNoRoom) << U(path_);
            return koFailure;
        }
    } else {
        before_ = static_cast<unsigned char*>(ramAllocZ(1));
        if (!before_) return koFailure;
    }
    taken_ = true;
    return koSuccess;
}

KoStatus KoProfileSnapshot::restore() {
    if (!taken_) return koSuccess;
    // A rename needs no room on the disk, so it works where the write ran out of it.
    BOOL ok = existed_ ? MoveFileExA(copy_, path_, MOVEFILE_REPLACE_EXISTING)
                       : (DeleteFileA(path_) || GetLastError() == ERROR_FILE_NOT_FOUND);
    if (!ok) {
        koRaiseError(koErrSetupNotRestored) << U(path_);
        return koFailure;
    }
    taken_ = false;
    return koSuccess;
}

KoStatus KoProfileSnapshot::compare(const unsigned char* except1, const unsigned char* except2,
                                    bool* othersIntact, bool* present) {
    *othersIntact = true;
    *present = true;
    if (!taken_) return koSuccess;
    unsigned char* now = nullptr;
    uint32_t nowLength = 0;
    if (!readWhole(path_, &now, &nowLength)) return koFailure;
    auto* a = static_cast<unsigned char*>(ramAlloc(beforeLength_ + 2));
    auto* b = static_cast<unsigned char*>(ramAlloc(nowLength + 2));
    KoStatus status = koFailure;
    if (a && b) {
        bool wasPresent = false;
        uint32_t la = canonical(before_, beforeLength_, except1, except2, a, &wasPresent);
        uint32_t lb = canonical(now, nowLength, except1, except2, b, present);
        *othersIntact = la == lb && std::memcmp(a, b, la) == 0;
        status = koSuccess;
    }
    ramFree(a);
    ramFree(b);
    ramFree(now);
    return status;
}
