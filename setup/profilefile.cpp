// The data-source file behind "ODBC.INI": its name, the lock over a request's read-modify-write and
// the copy that puts it back after a write that did not land.
#include "setup/profilefile.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/sync/kocriticalsection.h"
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

// Copies a whole file; 0 when any part of it cannot be read or written.
bool copyFile(const char* from, const char* to) {
    HANDLE in = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    HANDLE out = CreateFileA(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    bool ok = true;
    char block[8192];
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in, block, sizeof block, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        if (!WriteFile(out, block, got, &put, nullptr) || put != got) {
            ok = false;
            break;
        }
    }
    ok = FlushFileBuffers(out) && ok;
    CloseHandle(out);
    CloseHandle(in);
    if (!ok) DeleteFileA(to);
    return ok;
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
        std::snprintf(copy_, sizeof copy_, "%s.saved", path_);
        if (!copyFile(path_, copy_)) {
            koRaiseError(koErrSetupNoRoom) << U(path_);
            return koFailure;
        }
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
