// Files behind handles: open, read, write, position, size, flush.
#include "platform/fileinternal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <new>

namespace {

HANDLE handleOfFd(int fd) {
    KoFileObject* f = new (std::nothrow) KoFileObject(fd);
    if (!f) {
        close(fd);
        koFailWindows(ERROR_NOT_ENOUGH_MEMORY, crtENOMEM);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = koHandleCreate(f);
    return h ? h : INVALID_HANDLE_VALUE;
}

} // namespace

KoFileObject::~KoFileObject() {
    if (fd >= 0 && !borrowed) close(fd);
}

bool KoFileObject::handleClosed() {
    if (!soleReference() || fd < 0 || borrowed) return true;
    int descriptor = fd;
    fd = -1;
    return _close(descriptor) == 0;
}

std::string koParentOf(const std::string& name) {
    size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return name.substr(0, slash);
}

bool koIsDirectory(const std::string& name) {
    struct stat st;
    return stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void koFailPath(const char* name, int e) {
    koFailErrno(e);
    if (e == ENOENT && !koIsDirectory(koParentOf(name))) SetLastError(ERROR_PATH_NOT_FOUND);
}

int koOpenFile(const char* name, const KoOpenRequest& r, bool* existed) {
    if (!name || !*name) {
        koFailErrno(ENOENT);
        return -1;
    }
    int flags = r.access | O_CLOEXEC | (r.append ? O_APPEND : 0);
    mode_t mode = r.readOnlyNew ? 0444 : 0666;
    int fd = -1;
    bool created = false;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        if (!r.mustCreate) {
            fd = open(name, flags);
            if (fd >= 0 || errno != ENOENT || !r.create) break;
        }
        fd = open(name, flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0)
            created = true;
        else if (errno != EEXIST || r.mustCreate)
            break;
    }
    if (fd < 0) {
        int e = errno;
        // A directory is not a file that can be opened (Windows says access denied).
        if (e == EISDIR) e = EACCES;
        koFailPath(name, e);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        close(fd);
        koFailErrno(e);
        return -1;
    }
    if (S_ISDIR(st.st_mode) || (!created && r.access != O_RDONLY && koReadOnlyMode(st.st_mode))) {
        close(fd);
        koFailErrno(EACCES);
        return -1;
    }
    if (flock(fd, (r.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int e = errno;
        close(fd);
        if (e == EWOULDBLOCK)
            koFailWindows(ERROR_SHARING_VIOLATION, crtEACCES);
        else
            koFailErrno(e);
        return -1;
    }
    // Truncate only once the sharing check has passed: a file someone holds exclusively stays whole.
    if (r.truncate && !created && st.st_size != 0 &&
        (r.access == O_RDONLY ? truncate(name, 0) : ftruncate(fd, 0)) != 0) {
        int e = errno;
        close(fd);
        koFailErrno(e);
        return -1;
    }
    if (existed) *existed = !created;
    koClearErrors();
    return fd;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPVOID, DWORD disposition, DWORD flags, HANDLE) {
    KoOpenRequest r{};
    bool rd = access & GENERIC_READ, wr = access & GENERIC_WRITE;
    r.access = wr ? (rd ? O_RDWR : O_WRONLY) : O_RDONLY;
    r.exclusive = (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) != (FILE_SHARE_READ | FILE_SHARE_WRITE);
    r.readOnlyNew = flags & FILE_ATTRIBUTE_READONLY;
    switch (disposition) {
    case CREATE_NEW:
        r.create = r.mustCreate = true;
        break;
    case CREATE_ALWAYS:
        r.create = r.truncate = true;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        r.create = true;
        break;
    case TRUNCATE_EXISTING:
        if (!wr) {
            koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
            return INVALID_HANDLE_VALUE;
        }
        r.truncate = true;
        break;
    default:
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = false;
    int fd = koOpenFile(name, r, &existed);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS))
        SetLastError(ERROR_ALREADY_EXISTS);
    return handleOfFd(fd);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID) {
    if (read) *read = 0;
    auto f = koFileOf(file);
    if (!f) return FALSE;
    int fd = f->fd;
    int n = _read(fd, buffer, toRead);
    if (n < 0) return FALSE;
    if (read) *read = DWORD(n);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID) {
    if (written) *written = 0;
    auto f = koFileOf(file);
    if (!f) return FALSE;
    int fd = f->fd;
    const char* p = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = write(fd, p + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            koFailErrno(errno);
            if (written) *written = done;
            return FALSE;
        }
        done += DWORD(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
    auto f = koFileOf(file);
    if (!f) return INVALID_SET_FILE_POINTER;
    int fd = f->fd;
    int whence = method == FILE_BEGIN     ? SEEK_SET
                 : method == FILE_CURRENT ? SEEK_CUR
                 : method == FILE_END     ? SEEK_END
                                          : -1;
    if (whence < 0) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t dist = high ? int64_t((uint64_t(uint32_t(*high)) << 32) | uint32_t(distance)) : int64_t(distance);
    off_t base = 0;
    if (whence != SEEK_SET) {
        base = lseek(fd, 0, whence);
        if (base < 0) {
            koFailErrno(errno);
            return INVALID_SET_FILE_POINTER;
        }
    }
    int64_t target = int64_t(base) + dist;
    if (target < 0) {
        koFailWindows(ERROR_NEGATIVE_SEEK, crtEINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(fd, off_t(target), SEEK_SET) < 0) {
        koFailErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (high) *high = LONG(uint64_t(target) >> 32);
    // A position whose low half looks like the failure value is told apart by a clear last error.
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(target) & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    struct stat st;
    auto f = koFileOf(file);
    if (!f) return INVALID_FILE_SIZE;
    int fd = f->fd;
    if (fstat(fd, &st) != 0) {
        koFailErrno(errno);
        return INVALID_FILE_SIZE;
    }
    if (high) *high = DWORD(uint64_t(st.st_size) >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(st.st_size) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE file) {
    auto f = koFileOf(file);
    if (!f) return FALSE;
    int fd = f->fd;
    off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(fd, pos) != 0) {
        koFailErrno(errno == EINVAL ? EACCES : errno);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto f = koFileOf(file);
    if (!f) return FALSE;
    int fd = f->fd;
    if (fsync(fd) != 0 && errno != EINVAL) {
        koFailErrno(errno);
        return FALSE;
    }
    return TRUE;
}
