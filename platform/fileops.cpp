// Operations on files and directories by name: delete, move, create and remove directories,
// attributes.
#include "platform/fileinternal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

static bool isHiddenName(const std::string& path) {
    std::string base = path;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    size_t slash = base.rfind('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    return base.size() > 1 && base[0] == '.' && base != "..";
}

DWORD koAttributesOf(const struct stat& st, const std::string& name) {
    DWORD a = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (koReadOnlyMode(st.st_mode)) a |= FILE_ATTRIBUTE_READONLY;
    if (isHiddenName(name)) a |= FILE_ATTRIBUTE_HIDDEN;
    return a;
}

BOOL DeleteFileA(LPCSTR name) {
    struct stat st;
    if (!name || lstat(name, &st) != 0) {
        koFailPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && koReadOnlyMode(st.st_mode))) {
        koFailErrno(EACCES);
        return FALSE;
    }
    if (unlink(name) != 0) {
        koFailPath(name, errno);
        return FALSE;
    }
    return TRUE;
}

namespace {

// Copies a regular file for a move across file systems. Without replace the target is created
// exclusively, so a file that appeared since the caller looked is never overwritten.
bool copyFile(const char* from, const char* to, bool replace) {
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (fstat(in, &st) != 0) {
        int e = errno;
        close(in);
        errno = e;
        return false;
    }
    int out = open(to, O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL), st.st_mode & 0777);
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
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    struct stat src;
    if (lstat(existing, &src) != 0) {
        koFailPath(existing, errno);
        return FALSE;
    }
    struct stat dst;
    bool targetExists = lstat(target, &dst) == 0;
    if (targetExists && !(flags & MOVEFILE_REPLACE_EXISTING)) {
        koFailWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
        return FALSE;
    }
    if (targetExists && S_ISDIR(dst.st_mode)) {
        koFailErrno(EACCES);
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
        koFailWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
        return FALSE;
    }
    if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && S_ISREG(src.st_mode)) {
        if (!copyFile(existing, target, flags & MOVEFILE_REPLACE_EXISTING)) {
            if (errno == EEXIST) {
                koFailWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
                return FALSE;
            }
            koFailPath(target, errno);
            return FALSE;
        }
        if (unlink(existing) != 0) {
            koFailPath(existing, errno);
            return FALSE;
        }
        return TRUE;
    }
    koFailPath(target, errno);
    return FALSE;
}

BOOL CreateDirectoryA(LPCSTR name, LPVOID) {
    if (!name || mkdir(name, 0777) != 0) {
        int e = name ? errno : ENOENT;
        if (e == EEXIST)
            koFailWindows(ERROR_ALREADY_EXISTS, crtEEXIST);
        else
            koFailPath(name ? name : "", e);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
    if (!name || rmdir(name) != 0) {
        int e = name ? errno : ENOENT;
        if (e == EEXIST) e = ENOTEMPTY;
        koFailPath(name ? name : "", e);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
    struct stat st;
    if (!name || stat(name, &st) != 0) {
        koFailPath(name ? name : "", name ? errno : ENOENT);
        return INVALID_FILE_ATTRIBUTES;
    }
    return koAttributesOf(st, name);
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
    struct stat st;
    if (!name || stat(name, &st) != 0) {
        koFailPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~mode_t(0222);
    else if (koReadOnlyMode(mode))
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && chmod(name, mode) != 0) {
        koFailPath(name, errno);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
    if (level != GetFileExInfoStandard || !info) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    struct stat st;
    if (!name || stat(name, &st) != 0) {
        koFailPath(name ? name : "", name ? errno : ENOENT);
        return FALSE;
    }
    auto* d = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
    d->dwFileAttributes = koAttributesOf(st, name);
    d->ftCreationTime = koSplitTime(koFileTimeOf(st.st_ctim));
    d->ftLastAccessTime = koSplitTime(koFileTimeOf(st.st_atim));
    d->ftLastWriteTime = koSplitTime(koFileTimeOf(st.st_mtim));
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
    d->nFileSizeHigh = DWORD(size >> 32);
    d->nFileSizeLow = DWORD(size & 0xFFFFFFFFu);
    return TRUE;
}
