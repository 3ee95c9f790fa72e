// Files: open, read, write, close, delete, attributes, date and size, directory search.
#include <cstdio>
#include <cstring>

#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/os/bos.h"
#include "foundation/os/bosinternal.h"
#include "platform/win32.h"

namespace {

// Largest piece handed to one write call.
constexpr uint32_t writePiece = 65534;
// Room for a converted name; names of the system can be far longer than a path buffer.
constexpr size_t nameRoom = 4096;

// No system box may interrupt the caller while a file is opened or removed.
class QuietErrors {
public:
    QuietErrors() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~QuietErrors() { SetErrorMode(previous_); }

private:
    UINT previous_;
};

int openOnce(const char* name, int oflag, int share) {
    QuietErrors quiet;
    return _sopen(name, oflag, share, _S_IREAD | _S_IWRITE);
}

constexpr int outOfMemory = -2;

// Tries the name in each directory of PATH in turn; the descriptor, -1 when none opened, or
// outOfMemory.
int openAlongPath(const char* converted, int oflag, int share) {
    DWORD need = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (need == 0) return -1;
    char* list = static_cast<char*>(ramAlloc(need));
    if (!list) return outOfMemory;
    DWORD got = GetEnvironmentVariableA("PATH", list, need);
    int fd = -1;
    if (got > 0 && got < need) {
        char* candidate = static_cast<char*>(ramAlloc(uint32_t(got + strlen(converted) + 2)));
        if (!candidate) fd = outOfMemory;
        for (char* dir = list; candidate && fd == -1 && *dir;) {
            char* end = strchr(dir, ':');
            size_t n = end ? size_t(end - dir) : strlen(dir);
            // An empty entry would name the root; the current directory was tried already.
            if (n > 0) {
                memcpy(candidate, dir, n);
                if (candidate[n - 1] != '/') candidate[n++] = '/';
                strcpy(candidate + n, converted);
                fd = openOnce(candidate, oflag, share);
            }
            if (!end) break;
            dir = end + 1;
        }
        ramFree(candidate);
    }
    ramFree(list);
    return fd;
}

// Creates a new temporary file and puts its full name into name (256 bytes).
KoStatus makeTemporaryName(unsigned char* name) {
    char dir[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) {
        bosRaiseRuntimeError(crtENOENT, reinterpret_cast<const unsigned char*>("TMPDIR"));
        return koFailure;
    }
    char made[MAX_PATH];
    if (GetTempFileNameA(dir, "ko", 0, made) == 0) {
        bosRaiseWindowsError(GetLastError(), reinterpret_cast<const unsigned char*>(dir));
        return koFailure;
    }
    // The caller's buffer holds 255 characters; a longer name is never cut into another file's name.
    if (strlen(made) > 255) {
        DeleteFileA(made);
        koRaiseError(bosErrCreate) << reinterpret_cast<const unsigned char*>(made);
        return koFailure;
    }
    strcpy(reinterpret_cast<char*>(name), made);
    bosfpath(name, 0);
    return koSuccess;
}

struct FindCursor {
    HANDLE search;
    bool pending; // data holds an entry not handed out yet
    WIN32_FIND_DATAA data;
};

void endSearch(unsigned char** cursor) {
    FindCursor* c = reinterpret_cast<FindCursor*>(*cursor);
    FindClose(c->search);
    ramFree(c);
    *cursor = nullptr;
}

// Raises the error of the last failing runtime call.
KoStatus raiseRuntimeFailure() {
    int code = 0;
    _get_errno(&code);
    bosRaiseRuntimeError(code, nullptr);
    return koFailure;
}

// Moves to offset unless it is -1 (the current position).
KoStatus seekTo(int fd, int32_t offset) {
    if (offset != -1 && _lseek(fd, offset, 0) == -1) return raiseRuntimeFailure();
    return koSuccess;
}

bool isDotEntry(const char* n) {
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

} // namespace

KoStatus bosConvertName(const unsigned char* name, char* out, size_t size) {
    const char* n = reinterpret_cast<const char*>(name);
    size_t len = strlen(n);
    if (len >= size) {
        bosRaiseRuntimeError(crtENAMETOOLONG, name);
        return koFailure;
    }
    DWORD flags = 0;
    if (!GetVolumeInformationA(n[0] == '/' ? "/" : nullptr, nullptr, 0, nullptr, nullptr, &flags, nullptr,
                               0)) {
        DWORD e = GetLastError();
        // A volume that refuses the question keeps the name as given.
        if (e != ERROR_ACCESS_DENIED) {
            bosRaiseWindowsError(e, name);
            return koFailure;
        }
    }
    // Volumes here are case-sensitive and store the ANSI names as they are: the name is never changed
    // (upper-casing it would name a different file).
    memcpy(out, n, len + 1);
    return koSuccess;
}

KoStatus bosFileOpen(unsigned char* name, uint32_t mode, int* handle) {
    if (handle) *handle = 0;
    if (!name || !handle) {
        koRaiseError(bosErrOpen) << reinterpret_cast<const unsigned char*>(name ? name
                                                                                : (const unsigned char*)"");
        return koFailure;
    }
    const bool temporary = mode & (bosOpenTempName | bosOpenTempFixed);
    if (temporary && makeTemporaryName(name) != koSuccess) return koFailure;

    char* converted = static_cast<char*>(ramAlloc(nameRoom));
    if (!converted) {
        if (temporary) DeleteFileA(reinterpret_cast<const char*>(name));
        return koFailure;
    }
    if (bosConvertName(name, converted, nameRoom) != koSuccess) {
        ramFree(converted);
        if (temporary) DeleteFileA(reinterpret_cast<const char*>(name));
        return koFailure;
    }
    const bool create = mode & bosOpenCreate;
    int oflag = _O_BINARY | _O_NOINHERIT;
    if (create)
        oflag |= _O_CREAT | _O_TRUNC | _O_RDWR;
    else if (mode & bosOpenReadWrite)
        oflag |= _O_RDWR;
    const int share = (mode & bosOpenExclusive) ? _SH_DENYRW : _SH_DENYNO;

    int fd = openOnce(converted, oflag, share);
    if (fd < 0 && !create && (mode & bosOpenSearchPath)) fd = openAlongPath(converted, oflag, share);
    ramFree(converted);
    if (fd == outOfMemory) {
        if (temporary) DeleteFileA(reinterpret_cast<const char*>(name));
        return koFailure;
    }
    if (fd < 0) {
        // A temporary file that cannot be opened is of no use to anyone.
        if (temporary) DeleteFileA(reinterpret_cast<const char*>(name));
        koRaiseError(create ? bosErrCreate : bosErrOpen) << name;
        return koFailure;
    }
    *handle = fd + 1;
    return koSuccess;
}

KoStatus bosFileRead(int handle, int32_t offset, void* buf, uint32_t len, uint32_t* got) {
    if (got) *got = 0;
    const int fd = handle - 1;
    if (seekTo(fd, offset) != koSuccess) return koFailure;
    // A read may come back with less than asked before the end of the file; only 0 means the end.
    uint32_t total = 0;
    unsigned char* p = static_cast<unsigned char*>(buf);
    while (total < len) {
        uint32_t ask = len - total > 0x40000000u ? 0x40000000u : len - total;
        int n = _read(fd, p + total, ask);
        if (n < 0) {
            if (got) *got = total;
            return raiseRuntimeFailure();
        }
        if (n == 0) break;
        total += uint32_t(n);
    }
    if (got) *got = total;
    return koSuccess;
}

KoStatus bosFileWrite(int handle, int32_t offset, const void* buf, uint32_t len) {
    const int fd = handle - 1;
    if (seekTo(fd, offset) != koSuccess) return koFailure;
    const unsigned char* p = static_cast<const unsigned char*>(buf);
    for (uint32_t done = 0; done < len;) {
        uint32_t piece = len - done > writePiece ? writePiece : len - done;
        int n = _write(fd, p + done, piece);
        if (n < 0) return raiseRuntimeFailure();
        if (uint32_t(n) < piece) {
            koRaiseError(n == 0 ? bosErrWroteNothing : bosErrSystem);
            return koFailure;
        }
        done += piece;
    }
    return koSuccess;
}

KoStatus bosFileSystemHandle(int handle, int32_t offset, HANDLE* file) {
    *file = INVALID_HANDLE_VALUE;
    const int fd = handle - 1;
    if (seekTo(fd, offset) != koSuccess) return koFailure;
    const intptr_t h = _get_osfhandle(fd);
    if (h == intptr_t(INVALID_HANDLE_VALUE)) return raiseRuntimeFailure();
    *file = reinterpret_cast<HANDLE>(h);
    return koSuccess;
}

KoStatus bosFileClose(int handle) {
    if (handle == 0) return koSuccess;
    if (_close(handle - 1) != 0) return raiseRuntimeFailure();
    return koSuccess;
}

KoStatus bosFileDelete(const unsigned char* name) {
    if (!name) return koSuccess;
    char* converted = static_cast<char*>(ramAlloc(nameRoom));
    if (!converted) return koFailure;
    if (bosConvertName(name, converted, nameRoom) != koSuccess) {
        ramFree(converted);
        return koFailure;
    }
    BOOL removed;
    DWORD why;
    {
        QuietErrors quiet;
        removed = DeleteFileA(converted);
        why = removed ? ERROR_SUCCESS : GetLastError();
    }
    bool gone = removed ? GetFileAttributesA(converted) == INVALID_FILE_ATTRIBUTES
                        : why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND;
    ramFree(converted);
    if (gone) return koSuccess;
    koRaiseError(bosErrDelete) << name;
    return koFailure;
}

uint16_t bosfattr(const unsigned char* name) {
    if (!name) return 0;
    const char* n = reinterpret_cast<const char*>(name);
    if (strcmp(n, "..") == 0) return 2;
    DWORD a = GetFileAttributesA(n);
    if (a == INVALID_FILE_ATTRIBUTES) return 0;
    if (a & FILE_ATTRIBUTE_DIRECTORY) return 2;
    if (a & FILE_ATTRIBUTE_READONLY) return 5;
    return 1;
}

uint16_t bosexist(const unsigned char* name) {
    return bosfattr(name) & 1;
}

KoStatus bosFileDateSize(const unsigned char* name, unsigned char* date, uint32_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!name || !GetFileAttributesExA(reinterpret_cast<const char*>(name), GetFileExInfoStandard, &info))
        return koFailure;
    SYSTEMTIME t;
    if (!FileTimeToSystemTime(&info.ftLastWriteTime, &t)) return koFailure;
    if (size) *size = info.nFileSizeLow;
    if (date)
        snprintf(reinterpret_cast<char*>(date), 11, "%02i/%02i/%04i", int(t.wMonth % 100), int(t.wDay % 100),
                 int(t.wYear % 10000));
    return koSuccess;
}

KoStatus bosFindFiles(unsigned char** cursor, unsigned char* name) {
    if (!cursor || !name) return koSuccess;
    if (!*cursor) {
        FindCursor* c = static_cast<FindCursor*>(ramAlloc(sizeof(FindCursor)));
        if (!c) return koFailure;
        c->search = FindFirstFileA(reinterpret_cast<const char*>(name), &c->data);
        if (c->search == INVALID_HANDLE_VALUE) {
            ramFree(c);
            return koSuccess;
        }
        c->pending = true;
        *cursor = reinterpret_cast<unsigned char*>(c);
    }
    FindCursor* c = reinterpret_cast<FindCursor*>(*cursor);
    for (;;) {
        if (!c->pending && !FindNextFileA(c->search, &c->data)) {
            endSearch(cursor);
            return koSuccess;
        }
        c->pending = false;
        if (!isDotEntry(c->data.cFileName)) break;
    }
    size_t n = strnlen(c->data.cFileName, 255);
    memcpy(name, c->data.cFileName, n);
    name[n] = 0;
    return koSuccess;
}
