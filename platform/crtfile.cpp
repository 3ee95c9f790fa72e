// The C runtime's descriptor-level file calls.
#include "platform/fileinternal.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// The handles _get_osfhandle made, by descriptor; made on first use, never destroyed (it outlives
// static destructors).
std::mutex osHandleLock;
std::unordered_map<int, HANDLE>* osHandles = nullptr;

} // namespace

intptr_t _get_osfhandle(int fd) {
    if (fd < 0 || fcntl(fd, F_GETFD) == -1) {
        koFailWindows(ERROR_INVALID_HANDLE, crtEBADF);
        return intptr_t(INVALID_HANDLE_VALUE);
    }
    std::lock_guard<std::mutex> g(osHandleLock);
    try {
        if (!osHandles) osHandles = new std::unordered_map<int, HANDLE>;
        auto it = osHandles->find(fd);
        // A handle someone closed with CloseHandle is made again.
        if (it != osHandles->end() && koHandleKindOf(it->second) == KoHandleKind::file)
            return intptr_t(it->second);
        HANDLE& slot = (*osHandles)[fd];
        KoFileObject* f = new (std::nothrow) KoFileObject(fd, true);
        HANDLE h = f ? koHandleCreate(f) : nullptr;
        if (h) return intptr_t(slot = h);
        osHandles->erase(fd);
    } catch (const std::bad_alloc&) {
    }
    koFailWindows(ERROR_NOT_ENOUGH_MEMORY, crtENOMEM);
    return intptr_t(INVALID_HANDLE_VALUE);
}

void koForgetOsHandle(int fd) {
    HANDLE h = nullptr;
    {
        std::lock_guard<std::mutex> g(osHandleLock);
        if (!osHandles) return;
        auto it = osHandles->find(fd);
        if (it == osHandles->end()) return;
        h = it->second;
        osHandles->erase(it);
    }
    if (h && koHandleKindOf(h) == KoHandleKind::file) koHandleClose(h, KoHandleKind::file);
}

int _sopen(const char* name, int oflag, int shflag, int pmode) {
    KoOpenRequest r{};
    int acc = oflag & 3;
    if (acc == 3 ||
        (shflag != _SH_DENYRW && shflag != _SH_DENYWR && shflag != _SH_DENYRD && shflag != _SH_DENYNO)) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    r.access = acc == _O_RDWR ? O_RDWR : acc == _O_WRONLY ? O_WRONLY : O_RDONLY;
    r.create = oflag & _O_CREAT;
    r.mustCreate = (oflag & _O_CREAT) && (oflag & _O_EXCL);
    r.truncate = oflag & _O_TRUNC;
    r.append = oflag & _O_APPEND;
    r.exclusive = shflag != _SH_DENYNO;
    r.readOnlyNew = !(pmode & _S_IWRITE);
    if (r.truncate && r.access == O_RDONLY) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    return koOpenFile(name, r, nullptr);
}

int _read(int fd, void* buffer, unsigned int count) {
    if (count > unsigned(INT_MAX)) count = INT_MAX;
    for (;;) {
        ssize_t n = read(fd, buffer, count);
        if (n >= 0) return int(n);
        if (errno != EINTR) break;
    }
    koFailErrno(errno == EISDIR ? EACCES : errno);
    return -1;
}

int _write(int fd, const void* buffer, unsigned int count) {
    if (count > unsigned(INT_MAX)) count = INT_MAX;
    const char* p = static_cast<const char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        ssize_t n = write(fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            koFailErrno(e);
            return done ? int(done) : -1;
        }
        if (n == 0) break;
        done += unsigned(n);
    }
    return int(done);
}

int64_t _lseeki64(int fd, int64_t offset, int origin) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : -1;
    if (whence < 0) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    off_t r = lseek(fd, off_t(offset), whence);
    if (r < 0) {
        koFailErrno(errno);
        return -1;
    }
    return int64_t(r);
}

LONG _lseek(int fd, LONG offset, int origin) {
    off_t before = lseek(fd, 0, SEEK_CUR);
    if (before < 0) {
        koFailErrno(errno);
        return -1;
    }
    int64_t r = _lseeki64(fd, offset, origin);
    if (r < 0) return -1;
    if (r > INT32_MAX) {
        // The position must stay where it was; if even that fails, say so rather than leave it moved.
        if (lseek(fd, before, SEEK_SET) < 0) {
            koFailErrno(errno);
            return -1;
        }
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    return LONG(r);
}

int _close(int fd) {
    koForgetOsHandle(fd);
    if (close(fd) != 0) {
        // The descriptor is gone after an interrupted close on Linux; only a bad one is an error.
        if (errno == EINTR) return 0;
        koFailErrno(errno);
        return -1;
    }
    return 0;
}

int _commit(int fd) {
    if (fsync(fd) != 0 && errno != EINVAL) {
        koFailErrno(errno);
        return -1;
    }
    return 0;
}

int64_t _filelengthi64(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        koFailErrno(errno);
        return -1;
    }
    return int64_t(st.st_size);
}

LONG _filelength(int fd) {
    int64_t n = _filelengthi64(fd);
    if (n > INT32_MAX) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    return LONG(n);
}

int _chsize(int fd, LONG size) {
    if (size < 0) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    if (ftruncate(fd, size) != 0) {
        // Windows reports a descriptor without write access as access denied.
        koFailErrno(errno == EINVAL ? EACCES : errno);
        return -1;
    }
    return 0;
}
