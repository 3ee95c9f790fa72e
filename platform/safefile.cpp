// Whole-file reads, atomic replacement and the store lock.
#include "platform/safefile.h"
#include "platform/oserror.h"
#include "platform/system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// A writer holds the lock for milliseconds; one that holds it this long is stuck, not busy.
const int kLockWaitMs = 30000;

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

DWORD koMakeFolders(const std::string& folder) {
    if (folder.empty() || folder == "." || folder == "/") return ERROR_SUCCESS;
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    DWORD e = koMakeFolders(koFolderOf(folder));
    if (e != ERROR_SUCCESS) return e;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? ERROR_SUCCESS : koWindowsErrorOfErrno(errno);
}

std::string koFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string koUserConfigFolder() {
    std::string value;
    if (koGetEnvironment("XDG_CONFIG_HOME", &value) && !value.empty() && value[0] == '/') return value;
    if (!koGetEnvironment("HOME", &value) || value.empty()) value = "/tmp";
    return value + "/.config";
}

DWORD koReadWholeFile(const std::string& path, std::string* text, bool* exists) {
    text->clear();
    *exists = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ERROR_SUCCESS : koWindowsErrorOfErrno(errno);
    *exists = true;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            close(fd);
            return koWindowsErrorOfErrno(e);
        }
        if (n == 0) break;
        text->append(buffer, size_t(n));
    }
    close(fd);
    return ERROR_SUCCESS;
}

DWORD koReplaceFile(const std::string& path, const std::string& text) {
    std::string folder = koFolderOf(path);
    std::string temp = path + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : koWindowsErrorOfErrno(errno);
    // Keep the mode of the file replaced (a shared machine file stays readable by all).
    struct stat st;
    fchmod(fd, stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600);
    bool ok = writeAll(fd, text.data(), text.size());
    // Each version gets a later modification time than the one it replaces, even within one tick of
    // the file system's clock, so readers that know a file by its identity never take one for another.
    struct stat now;
    if (ok && stat(path.c_str(), &st) == 0 && fstat(fd, &now) == 0 &&
        (now.st_mtim.tv_sec < st.st_mtim.tv_sec ||
         (now.st_mtim.tv_sec == st.st_mtim.tv_sec && now.st_mtim.tv_nsec <= st.st_mtim.tv_nsec))) {
        struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
        if (++times[1].tv_nsec >= 1000000000) {
            times[1].tv_nsec = 0;
            ++times[1].tv_sec;
        }
        futimens(fd, times);
    }
    ok = ok && fsync(fd) == 0;
    int e = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return koWindowsErrorOfErrno(e ? e : EIO);
    }
    // The rename itself is durable only once the folder is.
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return ERROR_SUCCESS;
}

KoFileWriteLock::KoFileWriteLock(const std::string& path) : status_(ERROR_SUCCESS) {
    std::string lockPath = path + ".lock";
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        status_ = errno == ENOENT ? ERROR_PATH_NOT_FOUND : koWindowsErrorOfErrno(errno);
        return;
    }
    // Polled rather than blocking: a lock held by this very thread further up (a setup request over
    // its profile) must end in an error, not hang the process.
    for (int waited = 0;; waited += 2) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            status_ = koWindowsErrorOfErrno(errno);
            break;
        }
        if (waited >= kLockWaitMs) {
            status_ = ERROR_LOCK_VIOLATION;
            break;
        }
        struct timespec pause = {0, 2000000};
        nanosleep(&pause, nullptr);
    }
    close(fd_);
    fd_ = -1;
}

KoFileWriteLock::~KoFileWriteLock() {
    if (fd_ >= 0) close(fd_); // closing the only descriptor of the open file releases the lock
}
