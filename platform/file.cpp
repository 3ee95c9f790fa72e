#include "platform/file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"

namespace {

thread_local int runtimeErrno = 0;

// The Windows runtime's number for a system error.
int runtimeErrnoOf(int e) {
    switch (e) {
    case EPERM:
        return crtEPERM;
    case ENOENT:
        return crtENOENT;
    case EIO:
        return crtEIO;
    case EBADF:
        return crtEBADF;
    case EAGAIN:
        return crtEAGAIN;
    case ENOMEM:
        return crtENOMEM;
    case EACCES:
    case ETXTBSY:
        return crtEACCES;
    case EEXIST:
        return crtEEXIST;
    case EXDEV:
        return crtEXDEV;
    case ENOTDIR:
        return crtENOTDIR;
    case EISDIR:
        return crtEISDIR;
    case ENFILE:
        return crtENFILE;
    case EMFILE:
        return crtEMFILE;
    case EFBIG:
        return crtEFBIG;
    case ENOSPC:
    case EDQUOT:
        return crtENOSPC;
    case ESPIPE:
        return crtESPIPE;
    case EROFS:
        return crtEROFS;
    case EDEADLK:
        return crtEDEADLOCK;
    case ENAMETOOLONG:
        return crtENAMETOOLONG;
    case ENOLCK:
        return crtENOLCK;
    case ENOTEMPTY:
        return crtENOTEMPTY;
    default:
        return crtEINVAL;
    }
}

// Records a failure at both levels from a system error number.
void failErrno(int e) {
    SetLastError(koWindowsErrorOfErrno(e));
    runtimeErrno = runtimeErrnoOf(e);
}

void failWindows(DWORD code, int runtime) {
    SetLastError(code);
    runtimeErrno = runtime;
}

std::string parentOf(const std::string& name) {
    size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return name.substr(0, slash);
}

bool isDirectory(const std::string& name) {
    struct stat st;
    return stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows tells a missing file from a missing directory on the way to it.
void failPath(const char* name, int e) {
    failErrno(e);
    if (e == ENOENT && !isDirectory(parentOf(name))) SetLastError(ERROR_PATH_NOT_FOUND);
}

// File handles point at records that start with a tag, like the layer's other kernel objects, and
// are looked up in a table so that a stale or foreign handle is refused, never dereferenced.
struct FileObject {
    uint32_t tag = 0x46494C45u;
    int fd;
};

std::mutex fileHandleLock;
std::set<FileObject*>& fileHandles() {
    static std::set<FileObject*>* s = new std::set<FileObject*>; // outlives static destructors
    return *s;
}

HANDLE handleOfFd(int fd) {
    FileObject* f = new (std::nothrow) FileObject;
    if (!f) {
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    f->fd = fd;
    std::lock_guard<std::mutex> g(fileHandleLock);
    fileHandles().insert(f);
    return f;
}

// The descriptor of a file handle, or -1 (with ERROR_INVALID_HANDLE) for anything else.
int fdOfHandle(HANDLE h) {
    std::lock_guard<std::mutex> g(fileHandleLock);
    auto it = fileHandles().find(static_cast<FileObject*>(h));
    if (it == fileHandles().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return (*it)->fd;
}

// A file without any write permission bit has Windows' read-only attribute.
bool readOnlyMode(mode_t mode) {
    return (mode & 0222) == 0;
}

struct OpenRequest {
    int access;      // O_RDONLY, O_WRONLY or O_RDWR
    bool create;     // create when missing
    bool mustCreate; // fail when present
    bool truncate;
    bool append;
    bool exclusive; // deny other handles
    bool readOnlyNew;
};

// Opens with Windows' rules; the descriptor or -1 with the errors set. *existed tells whether the file
// was there before.
int openFile(const char* name, const OpenRequest& r, bool* existed) {
    if (!name || !*name) {
        failErrno(ENOENT);
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
        failPath(name, e);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        close(fd);
        failErrno(e);
        return -1;
    }
    if (S_ISDIR(st.st_mode) || (!created && r.access != O_RDONLY && readOnlyMode(st.st_mode))) {
        close(fd);
        failErrno(EACCES);
        return -1;
    }
    if (flock(fd, (r.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int e = errno;
        close(fd);
        if (e == EWOULDBLOCK)
            failWindows(ERROR_SHARING_VIOLATION, crtEACCES);
        else
            failErrno(e);
        return -1;
    }
    // Truncate only once the sharing check has passed: a file someone holds exclusively stays whole.
    if (r.truncate && !created && st.st_size != 0 &&
        (r.access == O_RDONLY ? truncate(name, 0) : ftruncate(fd, 0)) != 0) {
        int e = errno;
        close(fd);
        failErrno(e);
        return -1;
    }
    if (existed) *existed = !created;
    SetLastError(ERROR_SUCCESS);
    runtimeErrno = 0;
    return fd;
}

uint64_t fileTimeOf(const struct timespec& t) {
    return (uint64_t(int64_t(t.tv_sec) + 11644473600LL) * 10000000ULL) + uint64_t(t.tv_nsec / 100);
}

FILETIME splitTime(uint64_t v) {
    return FILETIME{DWORD(v & 0xFFFFFFFFu), DWORD(v >> 32)};
}

bool isHiddenName(const std::string& path) {
    std::string base = path;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    size_t slash = base.rfind('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    return base.size() > 1 && base[0] == '.' && base != "..";
}

DWORD attributesOf(const struct stat& st, const std::string& name) {
    DWORD a = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (readOnlyMode(st.st_mode)) a |= FILE_ATTRIBUTE_READONLY;
    if (isHiddenName(name)) a |= FILE_ATTRIBUTE_HIDDEN;
    return a;
}

// ---- wildcard matching ----
// The pattern is first rewritten the way Windows does before it matches names: "?" becomes DOS_QM,
// "*" before "." DOS_STAR, "." before "?" or "*" or at the end DOS_DOT.
enum : int { tokStar = 256, tokDosStar, tokDosQm, tokDosDot };

std::vector<int> compilePattern(const std::string& p) {
    std::vector<int> out;
    if (p == "*.*") return {tokStar};
    for (size_t i = 0; i < p.size(); ++i) {
        unsigned char c = (unsigned char)p[i];
        char next = i + 1 < p.size() ? p[i + 1] : 0;
        if (c == '?')
            out.push_back(tokDosQm);
        else if (c == '*')
            out.push_back(next == '.' ? tokDosStar : tokStar);
        else if (c == '.' && (next == '?' || next == '*' || next == 0))
            out.push_back(tokDosDot);
        else
            out.push_back(c);
    }
    return out;
}

bool matchCompiled(const std::vector<int>& pat, const std::string& name) {
    const size_t m = pat.size(), n = name.size();
    size_t lastDot = name.rfind('.');
    // memo: 0 unknown, 1 no, 2 yes; iterative over (pattern, name) positions from the end.
    std::vector<unsigned char> ok((m + 1) * (n + 1), 0);
    auto at = [&](size_t p, size_t i) -> unsigned char& { return ok[p * (n + 1) + i]; };
    for (size_t p = m + 1; p-- > 0;) {
        for (size_t i = n + 1; i-- > 0;) {
            bool r;
            if (p == m)
                r = i == n;
            else {
                int t = pat[p];
                if (t == tokStar)
                    r = at(p + 1, i) == 2 || (i < n && at(p, i + 1) == 2);
                else if (t == tokDosStar)
                    r = at(p + 1, i) == 2 || (i < n && i != lastDot && at(p, i + 1) == 2);
                else if (t == tokDosQm) {
                    if (i < n && name[i] != '.')
                        r = at(p + 1, i + 1) == 2;
                    else {
                        size_t q = p;
                        while (q < m && pat[q] == tokDosQm)
                            ++q;
                        r = at(q, i) == 2;
                    }
                } else if (t == tokDosDot)
                    r = (i < n && name[i] == '.' && at(p + 1, i + 1) == 2) || (i == n && at(p + 1, i) == 2);
                else
                    r = i < n && (unsigned char)name[i] == t && at(p + 1, i + 1) == 2;
            }
            at(p, i) = r ? 2 : 1;
        }
    }
    return at(0, 0) == 2;
}

struct Search {
    std::string dir;
    std::vector<std::string> names;
    size_t next = 0;
};

std::mutex searchLock;
std::set<Search*>& searches() {
    static std::set<Search*>* s = new std::set<Search*>; // outlives static destructors
    return *s;
}

void fillFindData(const Search& s, const std::string& name, LPWIN32_FIND_DATAA data) {
    memset(data, 0, sizeof *data);
    std::string full = s.dir == "/" ? "/" + name : s.dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 || lstat(full.c_str(), &st) == 0) {
        data->dwFileAttributes = attributesOf(st, name);
        data->ftCreationTime = splitTime(fileTimeOf(st.st_ctim));
        data->ftLastAccessTime = splitTime(fileTimeOf(st.st_atim));
        data->ftLastWriteTime = splitTime(fileTimeOf(st.st_mtim));
        if (!S_ISDIR(st.st_mode)) {
            data->nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
            data->nFileSizeLow = DWORD(uint64_t(st.st_size) & 0xFFFFFFFFu);
        }
    } else
        data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    size_t n = std::min(name.size(), sizeof data->cFileName - 1);
    memcpy(data->cFileName, name.data(), n);
    data->cFileName[n] = 0;
}

std::atomic<UINT> errorMode{0};
std::atomic<unsigned> tempCounter{0};

} // namespace

// ---- Win32 handle level ----

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPVOID, DWORD disposition, DWORD flags, HANDLE) {
    OpenRequest r{};
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
            failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
            return INVALID_HANDLE_VALUE;
        }
        r.truncate = true;
        break;
    default:
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = false;
    int fd = openFile(name, r, &existed);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS))
        SetLastError(ERROR_ALREADY_EXISTS);
    return handleOfFd(fd);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID) {
    if (read) *read = 0;
    int fd = fdOfHandle(file);
    if (fd < 0) return FALSE;
    int n = _read(fd, buffer, toRead);
    if (n < 0) return FALSE;
    if (read) *read = DWORD(n);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID) {
    if (written) *written = 0;
    int fd = fdOfHandle(file);
    if (fd < 0) return FALSE;
    const char* p = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = write(fd, p + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failErrno(errno);
            if (written) *written = done;
            return FALSE;
        }
        done += DWORD(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
    int fd = fdOfHandle(file);
    if (fd < 0) return INVALID_SET_FILE_POINTER;
    int whence = method == FILE_BEGIN     ? SEEK_SET
                 : method == FILE_CURRENT ? SEEK_CUR
                 : method == FILE_END     ? SEEK_END
                                          : -1;
    if (whence < 0) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t dist = high ? int64_t((uint64_t(uint32_t(*high)) << 32) | uint32_t(distance)) : int64_t(distance);
    off_t base = 0;
    if (whence != SEEK_SET) {
        base = lseek(fd, 0, whence);
        if (base < 0) {
            failErrno(errno);
            return INVALID_SET_FILE_POINTER;
        }
    }
    int64_t target = int64_t(base) + dist;
    if (target < 0) {
        failWindows(ERROR_NEGATIVE_SEEK, crtEINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(fd, off_t(target), SEEK_SET) < 0) {
        failErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (high) *high = LONG(uint64_t(target) >> 32);
    // A position whose low half looks like the failure value is told apart by a clear last error.
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(target) & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    struct stat st;
    int fd = fdOfHandle(file);
    if (fd < 0) return INVALID_FILE_SIZE;
    if (fstat(fd, &st) != 0) {
        failErrno(errno);
        return INVALID_FILE_SIZE;
    }
    if (high) *high = DWORD(uint64_t(st.st_size) >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(st.st_size) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE file) {
    int fd = fdOfHandle(file);
    if (fd < 0) return FALSE;
    off_t pos = lseek(fd, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(fd, pos) != 0) {
        failErrno(errno == EINVAL ? EACCES : errno);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    int fd = fdOfHandle(file);
    if (fd < 0) return FALSE;
    if (fsync(fd) != 0 && errno != EINVAL) {
        failErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL koCloseFileHandle(HANDLE file) {
    FileObject* f = static_cast<FileObject*>(file);
    {
        std::lock_guard<std::mutex> g(fileHandleLock);
        if (!fileHandles().erase(f)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    int fd = f->fd;
    f->tag = 0;
    delete f;
    return _close(fd) == 0;
}

BOOL koIsFileHandle(HANDLE handle) {
    std::lock_guard<std::mutex> g(fileHandleLock);
    return fileHandles().count(static_cast<FileObject*>(handle)) != 0;
}

BOOL DeleteFileA(LPCSTR name) {
    struct stat st;
    if (!name || lstat(name, &st) != 0) {
        failPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && readOnlyMode(st.st_mode))) {
        failErrno(EACCES);
        return FALSE;
    }
    if (unlink(name) != 0) {
        failPath(name, errno);
        return FALSE;
    }
    return TRUE;
}

namespace {

bool copyFile(const char* from, const char* to) {
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    fstat(in, &st);
    int out = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        int e = errno;
        close(in);
        errno = e;
        return false;
    }
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    int e = errno;
    if (fsync(out) != 0 && errno != EINVAL) ok = false;
    if (close(out) != 0) ok = false;
    close(in);
    if (!ok) {
        unlink(to);
        errno = e ? e : EIO;
    }
    return ok;
}

} // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    if (!existing || !target) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    struct stat src;
    if (lstat(existing, &src) != 0) {
        failPath(existing, errno);
        return FALSE;
    }
    struct stat dst;
    bool targetExists = lstat(target, &dst) == 0;
    if (targetExists && !(flags & MOVEFILE_REPLACE_EXISTING)) {
        failWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
        return FALSE;
    }
    if (targetExists && S_ISDIR(dst.st_mode)) {
        failErrno(EACCES);
        return FALSE;
    }
    int rc;
    if (flags & MOVEFILE_REPLACE_EXISTING)
        rc = rename(existing, target);
    else {
        // Never replace a target that appeared since the check above.
        rc = renameat2(AT_FDCWD, existing, AT_FDCWD, target, RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) rc = rename(existing, target);
    }
    if (rc == 0) return TRUE;
    if (errno == EEXIST) {
        failWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
        return FALSE;
    }
    if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && S_ISREG(src.st_mode)) {
        if (!copyFile(existing, target)) {
            failPath(target, errno);
            return FALSE;
        }
        if (unlink(existing) != 0) {
            failPath(existing, errno);
            return FALSE;
        }
        return TRUE;
    }
    failPath(target, errno);
    return FALSE;
}

BOOL CreateDirectoryA(LPCSTR name, LPVOID) {
    if (!name || mkdir(name, 0777) != 0) {
        int e = name ? errno : ENOENT;
        if (e == EEXIST)
            failWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
        else
            failPath(name ? name : "", e);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
    if (!name || rmdir(name) != 0) {
        int e = name ? errno : ENOENT;
        if (e == EEXIST) e = ENOTEMPTY;
        failPath(name ? name : "", e);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
    struct stat st;
    if (!name || stat(name, &st) != 0) {
        failPath(name ? name : "", name ? errno : ENOENT);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributesOf(st, name);
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
    struct stat st;
    if (!name || stat(name, &st) != 0) {
        failPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~mode_t(0222);
    else if (readOnlyMode(mode))
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && chmod(name, mode) != 0) {
        failPath(name, errno);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
    if (level != GetFileExInfoStandard || !info) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    struct stat st;
    if (!name || stat(name, &st) != 0) {
        failPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    auto* d = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
    d->dwFileAttributes = attributesOf(st, name);
    d->ftCreationTime = splitTime(fileTimeOf(st.st_ctim));
    d->ftLastAccessTime = splitTime(fileTimeOf(st.st_atim));
    d->ftLastWriteTime = splitTime(fileTimeOf(st.st_mtim));
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
    d->nFileSizeHigh = DWORD(size >> 32);
    d->nFileSizeLow = DWORD(size & 0xFFFFFFFFu);
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (!pattern || !data) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return INVALID_HANDLE_VALUE;
    }
    std::string p(pattern);
    size_t slash = p.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    std::string mask = slash == std::string::npos ? p : p.substr(slash + 1);
    if (mask.empty()) {
        failWindows(ERROR_FILE_NOT_FOUND, crtENOENT);
        return INVALID_HANDLE_VALUE;
    }
    DIR* d = opendir(dir.c_str());
    if (!d) {
        int e = errno;
        failErrno(e);
        if (e == ENOENT || e == ENOTDIR) SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Search* s = new (std::nothrow) Search;
    if (!s) {
        closedir(d);
        failErrno(ENOMEM);
        return INVALID_HANDLE_VALUE;
    }
    s->dir = dir;
    std::vector<int> compiled = compilePattern(mask);
    while (struct dirent* e = readdir(d))
        if (matchCompiled(compiled, e->d_name)) s->names.push_back(e->d_name);
    closedir(d);
    if (s->names.empty()) {
        delete s;
        failWindows(ERROR_FILE_NOT_FOUND, crtENOENT);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(s->names.begin(), s->names.end());
    fillFindData(*s, s->names[0], data);
    s->next = 1;
    {
        std::lock_guard<std::mutex> g(searchLock);
        searches().insert(s);
    }
    SetLastError(ERROR_SUCCESS);
    return s;
}

BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data) {
    Search* s = static_cast<Search*>(search);
    {
        std::lock_guard<std::mutex> g(searchLock);
        if (!searches().count(s)) {
            failWindows(ERROR_INVALID_HANDLE, crtEBADF);
            return FALSE;
        }
    }
    if (s->next >= s->names.size()) {
        failWindows(ERROR_NO_MORE_FILES, crtENOENT);
        return FALSE;
    }
    fillFindData(*s, s->names[s->next++], data);
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    Search* s = static_cast<Search*>(search);
    {
        std::lock_guard<std::mutex> g(searchLock);
        if (!searches().erase(s)) {
            failWindows(ERROR_INVALID_HANDLE, crtEBADF);
            return FALSE;
        }
    }
    delete s;
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    uint64_t v = (uint64_t(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    if (v & 0x8000000000000000ULL) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    time_t secs = time_t(int64_t(v / 10000000ULL) - 11644473600LL);
    struct tm tm;
    if (!gmtime_r(&secs, &tm)) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    systemTime->wYear = WORD(tm.tm_year + 1900);
    systemTime->wMonth = WORD(tm.tm_mon + 1);
    systemTime->wDayOfWeek = WORD(tm.tm_wday);
    systemTime->wDay = WORD(tm.tm_mday);
    systemTime->wHour = WORD(tm.tm_hour);
    systemTime->wMinute = WORD(tm.tm_min);
    systemTime->wSecond = WORD(tm.tm_sec);
    systemTime->wMilliseconds = WORD((v % 10000000ULL) / 10000ULL);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME fileTime) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!st || !fileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
        st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999 || st->wDay < 1) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    bool leap = (st->wYear % 4 == 0 && st->wYear % 100 != 0) || st->wYear % 400 == 0;
    int dim = days[st->wMonth - 1] + (st->wMonth == 2 && leap ? 1 : 0);
    if (st->wDay > dim) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    struct tm tm {};
    tm.tm_year = st->wYear - 1900;
    tm.tm_mon = st->wMonth - 1;
    tm.tm_mday = st->wDay;
    tm.tm_hour = st->wHour;
    tm.tm_min = st->wMinute;
    tm.tm_sec = st->wSecond;
    time_t secs = timegm(&tm);
    uint64_t v =
        uint64_t(int64_t(secs) + 11644473600LL) * 10000000ULL + uint64_t(st->wMilliseconds) * 10000ULL;
    *fileTime = splitTime(v);
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    char value[4096];
    DWORD n = GetEnvironmentVariableA("TMPDIR", value, sizeof value);
    std::string dir = n > 0 && n < sizeof value ? std::string(value) : std::string("/tmp");
    if (dir.back() != '/') dir += '/';
    if (!buffer || size <= dir.size()) return DWORD(dir.size() + 1);
    memcpy(buffer, dir.c_str(), dir.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return DWORD(dir.size());
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer) {
    if (!path || !buffer) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return 0;
    }
    std::string base(*path ? path : ".");
    if (base.back() != '/') base += '/';
    if (prefix) base.append(prefix, strnlen(prefix, 3));
    // Room for four hex digits, ".tmp" and the terminator in a MAX_PATH buffer.
    if (base.size() + 9 > MAX_PATH) {
        failWindows(ERROR_BUFFER_OVERFLOW, crtENAMETOOLONG);
        return 0;
    }
    auto form = [&](unsigned number) {
        snprintf(buffer, MAX_PATH, "%s%X.tmp", base.c_str(), number & 0xFFFFu);
    };
    if (unique != 0) {
        form(unique);
        return unique & 0xFFFFu;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned start =
        unsigned(now.tv_nsec / 1000) ^ unsigned(getpid()) * 40503u ^ tempCounter.fetch_add(7919u);
    for (unsigned i = 0; i < 0x10000u; ++i) {
        unsigned number = (start + i) & 0xFFFFu;
        if (number == 0) continue;
        form(number);
        int fd = open(buffer, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            fchmod(fd, 0600);
            close(fd);
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        if (errno != EEXIST) {
            failPath(buffer, errno);
            return 0;
        }
    }
    failWindows(ERROR_FILE_EXISTS, crtEEXIST);
    return 0;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::vector<char> cwd(PATH_MAX);
    while (!getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE) {
            failErrno(errno);
            return 0;
        }
        cwd.resize(cwd.size() * 2);
    }
    size_t n = strlen(cwd.data());
    if (!buffer || size <= n) return DWORD(n + 1);
    memcpy(buffer, cwd.data(), n + 1);
    return DWORD(n);
}

BOOL SetCurrentDirectoryA(LPCSTR name) {
    if (!name || chdir(name) != 0) {
        failPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    return TRUE;
}

UINT SetErrorMode(UINT mode) {
    return errorMode.exchange(mode);
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
    struct statfs fs;
    if (statfs(root && *root ? root : ".", &fs) != 0) {
        failPath(root && *root ? root : ".", errno);
        return FALSE;
    }
    const char* type;
    switch ((unsigned long)fs.f_type) {
    case 0xEF53:
        type = "ext4";
        break;
    case 0x01021994:
        type = "tmpfs";
        break;
    case 0x794C7630:
        type = "overlay";
        break;
    case 0x9123683E:
        type = "btrfs";
        break;
    case 0x58465342:
        type = "xfs";
        break;
    case 0x6969:
        type = "nfs";
        break;
    case 0x65735546:
        type = "fuse";
        break;
    case 0x2FC12FC1:
        type = "zfs";
        break;
    default:
        type = "unknown";
        break;
    }
    if (volumeName && volumeNameSize) volumeName[0] = 0;
    if (serialNumber) *serialNumber = DWORD(fs.f_fsid.__val[0] ^ fs.f_fsid.__val[1]);
    if (maxComponentLength) *maxComponentLength = DWORD(fs.f_namelen);
    if (fileSystemFlags)
        *fileSystemFlags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    if (fileSystemName && fileSystemNameSize) {
        if (strlen(type) >= fileSystemNameSize) {
            failWindows(ERROR_BUFFER_OVERFLOW, crtENAMETOOLONG);
            return FALSE;
        }
        strcpy(fileSystemName, type);
    }
    return TRUE;
}

// ---- Runtime level ----

int _sopen(const char* name, int oflag, int shflag, int pmode) {
    OpenRequest r{};
    int acc = oflag & 3;
    if (acc == 3 ||
        (shflag != _SH_DENYRW && shflag != _SH_DENYWR && shflag != _SH_DENYRD && shflag != _SH_DENYNO)) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
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
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    return openFile(name, r, nullptr);
}

int _read(int fd, void* buffer, unsigned int count) {
    if (count > unsigned(INT_MAX)) count = INT_MAX;
    for (;;) {
        ssize_t n = read(fd, buffer, count);
        if (n >= 0) return int(n);
        if (errno != EINTR) break;
    }
    failErrno(errno == EISDIR ? EACCES : errno);
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
            failErrno(e);
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
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    off_t r = lseek(fd, off_t(offset), whence);
    if (r < 0) {
        failErrno(errno);
        return -1;
    }
    return int64_t(r);
}

LONG _lseek(int fd, LONG offset, int origin) {
    off_t before = lseek(fd, 0, SEEK_CUR);
    if (before < 0) {
        failErrno(errno);
        return -1;
    }
    int64_t r = _lseeki64(fd, offset, origin);
    if (r < 0) return -1;
    if (r > INT32_MAX) {
        lseek(fd, before, SEEK_SET);
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    return LONG(r);
}

int _close(int fd) {
    if (close(fd) != 0) {
        // The descriptor is gone after an interrupted close on Linux; only a bad one is an error.
        if (errno == EINTR) return 0;
        failErrno(errno);
        return -1;
    }
    return 0;
}

int _commit(int fd) {
    if (fsync(fd) != 0 && errno != EINVAL) {
        failErrno(errno);
        return -1;
    }
    return 0;
}

int64_t _filelengthi64(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        failErrno(errno);
        return -1;
    }
    return int64_t(st.st_size);
}

LONG _filelength(int fd) {
    int64_t n = _filelengthi64(fd);
    if (n > INT32_MAX) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    return LONG(n);
}

int _chsize(int fd, LONG size) {
    if (size < 0) {
        failWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return -1;
    }
    if (ftruncate(fd, size) != 0) {
        // Windows reports a descriptor without write access as access denied.
        failErrno(errno == EINVAL ? EACCES : errno);
        return -1;
    }
    return 0;
}

int _get_errno(int* value) {
    if (!value) return crtEINVAL;
    *value = runtimeErrno;
    return 0;
}

int _set_errno(int value) {
    runtimeErrno = value;
    return 0;
}
