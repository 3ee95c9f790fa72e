// The system side of TransmitFile: a file's bytes handed to a socket by the kernel (sendfile), with a
// copying loop for files the kernel cannot send from.
#include "platform/winsock_sys.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kosock {
namespace {

constexpr int errorAccessDenied = 5, errorHandleEof = 38;
constexpr int wsaETIMEDOUT = 10060, wsaENOTCONN = 10057;
// The most one call hands over when the caller sets no limit.
constexpr size_t defaultPiece = size_t(1) << 30;

// A full send buffer: a non-blocking socket waits for room; a blocking one only gets here when its
// send time-out ran out. 0 to go on, else minus the code.
int waitForRoom(int fd) {
    if (!nonBlockingFd(fd)) return -wsaETIMEDOUT;
    pollfd p = {fd, POLLOUT, 0};
    while (::poll(&p, 1, -1) < 0)
        if (errno != EINTR) return -errorOfErrno(errno);
    return 0;
}

// sendfile has no MSG_NOSIGNAL: SIGPIPE is held back on the thread during the transfer, and one the
// transfer raised is taken away before it is let through again.
class PipeSignalHold {
public:
    PipeSignalHold() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
        sigset_t pending;
        sigpending(&pending);
        pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
    }
    ~PipeSignalHold() {
        const int saved = errno;
        sigset_t pending;
        if (!pendingBefore_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            const timespec none = {0, 0};
            while (sigtimedwait(&pipe_, nullptr, &none) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
        errno = saved;
    }
    PipeSignalHold(const PipeSignalHold&) = delete;
    PipeSignalHold& operator=(const PipeSignalHold&) = delete;

private:
    sigset_t pipe_, old_;
    bool pendingBefore_ = false;
};

int fileError(int e) {
    return e == EBADF ? -errorAccessDenied : -errorOfErrno(e);
}

// Reads and sends through a small buffer, for files sendfile refuses (pipes, some file systems).
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
        if (int rc = sendPieces(fd, &p, 1, 0, &out)) return rc;
        p.data = static_cast<char*>(p.data) + out;
        p.size -= out;
        // A non-blocking socket took part: wait for room and send the rest.
        if (p.size)
            if (int rc = waitForRoom(fd)) return rc;
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
    const size_t piece = perSend ? perSend : defaultPiece;
    PipeSignalHold hold;
    while (*sent < count) {
        const uint64_t left = count - *sent;
        ssize_t n = ::sendfile(fd, fileFd, nullptr, left < piece ? size_t(left) : piece);
        if (n > 0) {
            *sent += uint64_t(n);
            continue;
        }
        if (n == 0) return -errorHandleEof;
        // A signal cuts a transfer short: it goes on, as a blocking Windows call does.
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            if (int rc = waitForRoom(fd)) return rc;
            continue;
        }
        if ((errno == EINVAL || errno == ENOSYS) && *sent == 0)
            return copyFileData(fd, fileFd, count, perSend, sent);
        // EBADF can only be the file here: the socket was checked.
        if (errno == EBADF) return fileError(errno);
        // The kernel's file transfer calls a socket that was never connected a broken pipe.
        if (errno == EPIPE) {
            sockaddr_storage peer;
            socklen_t len = sizeof peer;
            if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0 && errno == ENOTCONN &&
                *sent == 0)
                return -wsaENOTCONN;
            errno = EPIPE;
        }
        return -errorOfErrno(errno);
    }
    return 0;
}

} // namespace kosock
