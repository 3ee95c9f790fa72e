// The system side of TransmitFile: a file's bytes sent straight from a read-only mapping of the file,
// with a copying loop for files that cannot be mapped. (The kernel's own file transfer, sendfile,
// lends the file's pages to the connection in small pieces, which makes the receiving end copy
// them out page by page: on loopback that costs the receiver more than it saves the sender.)
#include "platform/winsock_sys.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kosock {
namespace {

constexpr int errorAccessDenied = 5, errorHandleEof = 38;
constexpr int wsaEWOULDBLOCK = 10035, wsaETIMEDOUT = 10060, wsaENOTCONN = 10057;
// The most of the file mapped at once.
constexpr uint64_t mapWindow = uint64_t(8) << 20;

// A full send buffer: a non-blocking socket waits for room; a blocking one only gets here when its
// send time-out ran out. 0 to go on, else minus the code.
int waitForRoom(int fd) {
    if (!nonBlockingFd(fd)) return -wsaETIMEDOUT;
    pollfd p = {fd, POLLOUT, 0};
    while (::poll(&p, 1, -1) < 0)
        if (errno != EINTR) return -errorOfErrno(errno);
    return 0;
}

int fileError(int e) {
    return e == EBADF ? -errorAccessDenied : -errorOfErrno(e);
}

// Reads and sends through a small buffer, for files that cannot be mapped (pipes, some devices).
int copyFileData(int fd, int fileFd, uint64_t count, size_t perSend, uint64_t* sent) {
    char buf[16384];
    while (*sent < count) {
        uint64_t want = count - *sent;
        if (want > sizeof buf) want = sizeof buf;
        if (perSend && want > perSend) want = perSend;
        ssize_t n = ::read(fileFd, buf, size_t(want));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fileError(errno);
        if (n == 0) return -errorHandleEof;
        if (int rc = sendAllData(fd, buf, size_t(n))) return rc;
        *sent += uint64_t(n);
    }
    return 0;
}

} // namespace

int sendAllData(int fd, const void* data, size_t size) {
    Piece p = {const_cast<void*>(data), size};
    while (p.size) {
        size_t out = 0;
        int rc = sendPieces(fd, &p, 1, 0, &out);
        // A full buffer: a non-blocking socket waits for room, a blocking one ran out of time.
        if (rc && rc != -wsaEWOULDBLOCK) return rc;
        p.data = static_cast<char*>(p.data) + out;
        p.size -= out;
        if (p.size)
            if ((rc = waitForRoom(fd))) return rc;
    }
    return 0;
}

int64_t fileBytesLeft(int fileFd) {
    struct stat st;
    if (::fstat(fileFd, &st) != 0) return fileError(errno);
    const off_t at = ::lseek(fileFd, 0, SEEK_CUR);
    if (at < 0) return fileError(errno);
    return st.st_size > at ? int64_t(st.st_size - at) : 0;
}

int sendFileData(int fd, int fileFd, uint64_t count, size_t perSend, uint64_t* sent) {
    *sent = 0;
    if (!socketFd(fd)) return -errorOfErrno(ENOTSOCK);
    const int mode = ::fcntl(fileFd, F_GETFL);
    if (mode == -1) return fileError(errno);
    if ((mode & O_ACCMODE) == O_WRONLY) return -errorAccessDenied;
    // Not connected: a reset not yet reported is reported first, as a send would.
    sockaddr_storage peer;
    socklen_t len = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        int err = 0;
        socklen_t el = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &el) == 0 && err != 0) return -errorOfErrno(err);
        return -wsaENOTCONN;
    }
    const off_t start = ::lseek(fileFd, 0, SEEK_CUR);
    struct stat st;
    if (start < 0 || ::fstat(fileFd, &st) != 0) {
        if (errno == ESPIPE || errno == EINVAL) return copyFileData(fd, fileFd, count, perSend, sent);
        return fileError(errno);
    }
    if (!S_ISREG(st.st_mode)) return copyFileData(fd, fileFd, count, perSend, sent);
    const uint64_t held = st.st_size > start ? uint64_t(st.st_size - start) : 0;
    const uint64_t want = count < held ? count : held;
    const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
    int rc = 0;
    while (rc == 0 && *sent < want) {
        const uint64_t at = uint64_t(start) + *sent, base = at & ~(page - 1);
        const size_t n = size_t(want - *sent < mapWindow ? want - *sent : mapWindow);
        const size_t span = size_t(at - base) + n;
        void* m = ::mmap(nullptr, span, PROT_READ, MAP_SHARED | MAP_POPULATE, fileFd, off_t(base));
        if (m == MAP_FAILED) {
            if (*sent == 0 && (errno == ENODEV || errno == EINVAL || errno == EACCES))
                return copyFileData(fd, fileFd, count, perSend, sent);
            rc = fileError(errno);
            break;
        }
        const char* p = static_cast<const char*>(m) + (at - base);
        for (size_t done = 0; rc == 0 && done < n;) {
            const size_t k = perSend && perSend < n - done ? perSend : n - done;
            if ((rc = sendAllData(fd, p + done, k)) == 0) {
                done += k;
                *sent += k;
            }
        }
        ::munmap(m, span);
    }
    ::lseek(fileFd, off_t(start + *sent), SEEK_SET);
    if (rc) return rc;
    return want < count ? -errorHandleEof : 0;
}

} // namespace kosock
