// The system calls behind the Windows sockets functions, with the translation of numbers, option
// forms and error codes.
#include "platform/winsock_sys.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <vector>

namespace kosock {
namespace {

// Windows' numbers that differ from the system's (the public header cannot be seen from here).
constexpr int winAfInet6 = 23;
constexpr int winSolSocket = 0xffff;
constexpr long winFionbio = long(int32_t(0x8004667eu));
constexpr long winFionread = long(int32_t(0x4004667fu));
constexpr long winSiocatmark = long(int32_t(0x40047307u));

constexpr int wsaEINTR = 10004, wsaEACCES = 10013, wsaEFAULT = 10014, wsaEINVAL = 10022, wsaEMFILE = 10024,
              wsaEWOULDBLOCK = 10035, wsaEALREADY = 10037, wsaENOTSOCK = 10038, wsaEDESTADDRREQ = 10039,
              wsaEMSGSIZE = 10040, wsaEPROTOTYPE = 10041, wsaENOPROTOOPT = 10042, wsaEPROTONOSUPPORT = 10043,
              wsaESOCKTNOSUPPORT = 10044, wsaEOPNOTSUPP = 10045, wsaEPFNOSUPPORT = 10046,
              wsaEAFNOSUPPORT = 10047, wsaEADDRINUSE = 10048, wsaEADDRNOTAVAIL = 10049, wsaENETDOWN = 10050,
              wsaENETUNREACH = 10051, wsaENETRESET = 10052, wsaECONNABORTED = 10053, wsaECONNRESET = 10054,
              wsaENOBUFS = 10055, wsaEISCONN = 10056, wsaENOTCONN = 10057, wsaESHUTDOWN = 10058,
              wsaETIMEDOUT = 10060, wsaECONNREFUSED = 10061, wsaEHOSTDOWN = 10064, wsaEHOSTUNREACH = 10065,
              wsaSYSCALLFAILURE = 10107, wsaTYPE_NOT_FOUND = 10109, wsaHOST_NOT_FOUND = 11001,
              wsaTRY_AGAIN = 11002, wsaNO_RECOVERY = 11003, wsaNO_DATA = 11004, wsaNOT_ENOUGH_MEMORY = 8;

int wsaOfErrno(int e) {
    switch (e) {
    case EINTR:
        return wsaEINTR;
    case EBADF:
    case ENOTSOCK:
        return wsaENOTSOCK;
    case EACCES:
    case EPERM:
        return wsaEACCES;
    case EFAULT:
        return wsaEFAULT;
    case EINVAL:
        return wsaEINVAL;
    case EMFILE:
    case ENFILE:
        return wsaEMFILE;
    case EAGAIN:
    case EINPROGRESS:
        return wsaEWOULDBLOCK;
    case EALREADY:
        return wsaEALREADY;
    case EDESTADDRREQ:
        return wsaEDESTADDRREQ;
    case EMSGSIZE:
        return wsaEMSGSIZE;
    case EPROTOTYPE:
        return wsaEPROTOTYPE;
    case ENOPROTOOPT:
        return wsaENOPROTOOPT;
    case EPROTONOSUPPORT:
        return wsaEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return wsaESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return wsaEOPNOTSUPP;
    case EPFNOSUPPORT:
        return wsaEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return wsaEAFNOSUPPORT;
    case EADDRINUSE:
        return wsaEADDRINUSE;
    case EADDRNOTAVAIL:
        return wsaEADDRNOTAVAIL;
    case ENETDOWN:
        return wsaENETDOWN;
    case ENETUNREACH:
        return wsaENETUNREACH;
    case ENETRESET:
        return wsaENETRESET;
    case ECONNABORTED:
        return wsaECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return wsaECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return wsaENOBUFS;
    case EISCONN:
        return wsaEISCONN;
    case ENOTCONN:
        return wsaENOTCONN;
    case ESHUTDOWN:
        return wsaESHUTDOWN;
    case ETIMEDOUT:
        return wsaETIMEDOUT;
    case ECONNREFUSED:
        return wsaECONNREFUSED;
    case EHOSTDOWN:
        return wsaEHOSTDOWN;
    case EHOSTUNREACH:
        return wsaEHOSTUNREACH;
    default:
        return wsaSYSCALLFAILURE;
    }
}

int fail() {
    return -wsaOfErrno(errno);
}

int sysFamily(int winFamily) {
    return winFamily == winAfInet6 ? AF_INET6 : winFamily;
}
int winFamily(int family) {
    return family == AF_INET6 ? winAfInet6 : family;
}

bool isSocket(int fd) {
    struct stat st;
    return fd >= 0 && fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

bool isNonBlocking(int fd) {
    int fl = fcntl(fd, F_GETFL);
    return fl != -1 && (fl & O_NONBLOCK);
}

// A Windows address (family field first, 16-bit) as the system's.
int toSys(const void* addr, int len, sockaddr_storage* out, socklen_t* outLen) {
    if (!addr || len < int(sizeof(uint16_t)) || len > int(sizeof *out)) return -wsaEFAULT;
    memset(out, 0, sizeof *out);
    memcpy(out, addr, size_t(len));
    uint16_t fam;
    memcpy(&fam, addr, sizeof fam);
    out->ss_family = sa_family_t(sysFamily(fam));
    *outLen = socklen_t(len);
    return 0;
}

int toWin(const sockaddr_storage& in, socklen_t inLen, void* addr, int* len) {
    if (!addr || !len) return 0;
    if (*len < int(inLen)) return -wsaEFAULT;
    sockaddr_storage copy = in;
    uint16_t fam = uint16_t(winFamily(in.ss_family));
    memcpy(&copy, &fam, sizeof fam);
    memcpy(addr, &copy, inLen);
    *len = int(inLen);
    return 0;
}

struct OptionName {
    int win;
    int sys;
};
constexpr OptionName socketOptions[] = {
    {0x0001, SO_DEBUG},     {0x0002, SO_ACCEPTCONN}, {0x0004, SO_REUSEADDR}, {0x0008, SO_KEEPALIVE},
    {0x0010, SO_DONTROUTE}, {0x0020, SO_BROADCAST},  {0x0080, SO_LINGER},    {0x0100, SO_OOBINLINE},
    {0x1001, SO_SNDBUF},    {0x1002, SO_RCVBUF},     {0x1005, SO_SNDTIMEO},  {0x1006, SO_RCVTIMEO},
    {0x1007, SO_ERROR},     {0x1008, SO_TYPE},
};

// The system's level and name of a Windows option; false when it has none.
bool optionOf(int level, int name, int* sysLevel, int* sysName) {
    if (level == winSolSocket) {
        for (const OptionName& o : socketOptions)
            if (o.win == name) {
                *sysLevel = SOL_SOCKET;
                *sysName = o.sys;
                return true;
            }
        return false;
    }
    if (level == IPPROTO_TCP && name == 1) {
        *sysLevel = IPPROTO_TCP;
        *sysName = TCP_NODELAY;
        return true;
    }
    return false;
}

int64_t nowMicroseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int eaiToWsa(int rc) {
    switch (rc) {
    case EAI_NONAME:
        return wsaHOST_NOT_FOUND;
    case EAI_AGAIN:
        return wsaTRY_AGAIN;
    case EAI_FAIL:
        return wsaNO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return wsaNO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return wsaNO_DATA;
#endif
    case EAI_MEMORY:
        return wsaNOT_ENOUGH_MEMORY;
    case EAI_FAMILY:
        return wsaEAFNOSUPPORT;
    case EAI_SOCKTYPE:
        return wsaESOCKTNOSUPPORT;
    case EAI_SERVICE:
        return wsaTYPE_NOT_FOUND;
    case EAI_BADFLAGS:
        return wsaEINVAL;
    case EAI_SYSTEM:
        return wsaOfErrno(errno);
    default:
        return wsaNO_RECOVERY;
    }
}

// Sockets whose non-blocking connect is under way: only their failure belongs in the exception set.
std::mutex pendingLock;
std::set<int>& pendingConnects() {
    static std::set<int>* s = new std::set<int>; // outlives static destructors
    return *s;
}
void setPending(int fd, bool pending) {
    std::lock_guard<std::mutex> g(pendingLock);
    if (pending)
        pendingConnects().insert(fd);
    else
        pendingConnects().erase(fd);
}
bool isPending(int fd) {
    std::lock_guard<std::mutex> g(pendingLock);
    return pendingConnects().count(fd) != 0;
}

} // namespace

int errorOfErrno(int e) {
    return wsaOfErrno(e);
}
bool socketFd(int fd) {
    return isSocket(fd);
}
bool nonBlockingFd(int fd) {
    return isNonBlocking(fd);
}

int openSocket(int family, int type, int protocol) {
    int fd = ::socket(sysFamily(family), type | SOCK_CLOEXEC, protocol);
    return fd < 0 ? fail() : fd;
}

int closeSocket(int fd) {
    // Never close what is not a socket: it may be someone's file.
    if (!isSocket(fd)) return -wsaENOTSOCK;
    setPending(fd, false);
    return ::close(fd) == 0 || errno == EINTR ? 0 : fail();
}

int bindSocket(int fd, const void* addr, int len) {
    sockaddr_storage sa;
    socklen_t n;
    if (int rc = toSys(addr, len, &sa, &n)) return rc;
    return ::bind(fd, reinterpret_cast<sockaddr*>(&sa), n) == 0 ? 0 : fail();
}

int listenSocket(int fd, int backlog) {
    return ::listen(fd, backlog) == 0 ? 0 : fail();
}

int acceptSocket(int fd, void* addr, int* len) {
    sockaddr_storage sa;
    socklen_t n = sizeof sa;
    int c;
    do
        c = ::accept4(fd, reinterpret_cast<sockaddr*>(&sa), &n, SOCK_CLOEXEC);
    while (c < 0 && (errno == EINTR || errno == ECONNABORTED));
    if (c < 0) return fail();
    if (int rc = toWin(sa, n, addr, len)) {
        ::close(c);
        return rc;
    }
    return c;
}

int connectSocket(int fd, const void* addr, int len) {
    sockaddr_storage sa;
    socklen_t n;
    if (int rc = toSys(addr, len, &sa, &n)) return rc;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), n) == 0) return 0;
    if (errno == EINPROGRESS) setPending(fd, true);
    if (errno != EINTR || isNonBlocking(fd)) return fail();
    // A signal does not stop a blocking connect on Windows: wait for its outcome.
    pollfd p = {fd, POLLOUT, 0};
    while (::poll(&p, 1, -1) < 0)
        if (errno != EINTR) return fail();
    int err = 0;
    socklen_t el = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &el) != 0) return fail();
    return err == 0 ? 0 : -wsaOfErrno(err);
}

int shutdownSocket(int fd, int how) {
    return ::shutdown(fd, how) == 0 ? 0 : fail();
}

int socketName(int fd, bool peer, void* addr, int* len) {
    if (!addr || !len) return -wsaEFAULT;
    sockaddr_storage sa;
    socklen_t n = sizeof sa;
    int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &n)
                  : ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &n);
    if (rc != 0) {
        // An unbound socket has no name on Windows.
        return !peer && errno == EINVAL ? -wsaEINVAL : fail();
    }
    return toWin(sa, n, addr, len);
}

int setOption(int fd, int level, int name, const void* value, int len) {
    int sl, sn;
    if (!optionOf(level, name, &sl, &sn))
        return level == winSolSocket || level == IPPROTO_TCP ? -wsaENOPROTOOPT : -wsaEINVAL;
    if (!value) return -wsaEFAULT;
    int rc;
    if (sn == SO_LINGER && sl == SOL_SOCKET) {
        if (len < 4) return -wsaEFAULT;
        uint16_t w[2];
        memcpy(w, value, sizeof w);
        linger l = {w[0] != 0, w[1]};
        rc = ::setsockopt(fd, sl, sn, &l, sizeof l);
    } else if (sl == SOL_SOCKET && (sn == SO_RCVTIMEO || sn == SO_SNDTIMEO)) {
        if (len < 4) return -wsaEFAULT;
        uint32_t ms;
        memcpy(&ms, value, sizeof ms);
        timeval tv = {time_t(ms / 1000), suseconds_t((ms % 1000) * 1000)};
        rc = ::setsockopt(fd, sl, sn, &tv, sizeof tv);
    } else {
        if (len < 1) return -wsaEFAULT;
        // Windows reads a BOOL option from as many bytes as it is given, up to an int.
        int v = 0;
        memcpy(&v, value, len < int(sizeof v) ? size_t(len) : sizeof v);
        rc = ::setsockopt(fd, sl, sn, &v, sizeof v);
    }
    return rc == 0 ? 0 : fail();
}

int getOption(int fd, int level, int name, void* value, int* len) {
    int sl, sn;
    if (!optionOf(level, name, &sl, &sn))
        return level == winSolSocket || level == IPPROTO_TCP ? -wsaENOPROTOOPT : -wsaEINVAL;
    if (!value || !len) return -wsaEFAULT;
    if (sn == SO_LINGER && sl == SOL_SOCKET) {
        if (*len < 4) return -wsaEFAULT;
        linger l;
        socklen_t n = sizeof l;
        if (::getsockopt(fd, sl, sn, &l, &n) != 0) return fail();
        uint16_t w[2] = {uint16_t(l.l_onoff ? 1 : 0), uint16_t(l.l_linger)};
        memcpy(value, w, sizeof w);
        *len = sizeof w;
        return 0;
    }
    if (*len < 4) return -wsaEFAULT;
    if (sl == SOL_SOCKET && (sn == SO_RCVTIMEO || sn == SO_SNDTIMEO)) {
        timeval tv;
        socklen_t n = sizeof tv;
        if (::getsockopt(fd, sl, sn, &tv, &n) != 0) return fail();
        uint32_t ms = uint32_t(tv.tv_sec * 1000 + tv.tv_usec / 1000);
        memcpy(value, &ms, sizeof ms);
        *len = sizeof ms;
        return 0;
    }
    int v = 0;
    socklen_t n = sizeof v;
    if (::getsockopt(fd, sl, sn, &v, &n) != 0) return fail();
    if (sn == SO_ERROR && sl == SOL_SOCKET && v != 0) v = wsaOfErrno(v);
    // Switches read back as TRUE or FALSE; SOCK_STREAM and SOCK_DGRAM share their numbers.
    if ((sn != SO_RCVBUF && sn != SO_SNDBUF && sn != SO_ERROR && sn != SO_TYPE) && v) v = 1;
    memcpy(value, &v, sizeof v);
    *len = sizeof v;
    return 0;
}

int control(int fd, long cmd, uint32_t* arg) {
    if (!arg) return -wsaEFAULT;
    if (!isSocket(fd)) return -wsaENOTSOCK;
    if (cmd == winFionbio) {
        int fl = fcntl(fd, F_GETFL);
        if (fl == -1) return fail();
        fl = *arg ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
        return fcntl(fd, F_SETFL, fl) == 0 ? 0 : fail();
    }
    if (cmd == winFionread) {
        int n = 0;
        if (::ioctl(fd, FIONREAD, &n) != 0) return fail();
        *arg = uint32_t(n);
        return 0;
    }
    if (cmd == winSiocatmark) {
        int m = ::sockatmark(fd);
        if (m < 0) return fail();
        // Windows answers TRUE when no out-of-band data waits to be read.
        *arg = m ? 0 : 1;
        return 0;
    }
    return -wsaEINVAL;
}

int sendPieces(int fd, Piece* pieces, size_t count, int flags, size_t* sent) {
    *sent = 0;
    iovec few[16];
    std::vector<iovec> many;
    iovec* iov = few;
    if (count > 16) {
        many.resize(count);
        iov = many.data();
    }
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        iov[i] = {pieces[i].data, pieces[i].size};
        total += pieces[i].size;
    }
    size_t first = 0;
    for (;;) {
        msghdr m = {};
        m.msg_iov = iov + first;
        m.msg_iovlen = count - first;
        ssize_t n = ::sendmsg(fd, &m, flags | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (*sent > 0 && errno == EAGAIN && isNonBlocking(fd)) return 0;
            return fail();
        }
        *sent += size_t(n);
        // A blocking send hands over everything; only a non-blocking one may stop short.
        if (*sent >= total || isNonBlocking(fd)) return 0;
        size_t left = size_t(n);
        while (first < count && left >= iov[first].iov_len) {
            left -= iov[first].iov_len;
            ++first;
        }
        if (first < count) {
            iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
    }
}

int receivePieces(int fd, Piece* pieces, size_t count, int flags, size_t* got) {
    *got = 0;
    iovec few[16];
    std::vector<iovec> many;
    iovec* iov = few;
    if (count > 16) {
        many.resize(count);
        iov = many.data();
    }
    for (size_t i = 0; i < count; ++i)
        iov[i] = {pieces[i].data, pieces[i].size};
    msghdr m = {};
    m.msg_iov = iov;
    m.msg_iovlen = count;
    ssize_t n;
    do
        n = ::recvmsg(fd, &m, flags);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        // A blocking socket only comes back empty-handed when its receive time-out ran out.
        if (errno == EAGAIN && !isNonBlocking(fd)) return -wsaETIMEDOUT;
        return fail();
    }
    *got = size_t(n);
    return 0;
}

int selectSockets(fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, int64_t microseconds) {
    fd_set* sets[3] = {readSet, writeSet, exceptSet};
    std::vector<pollfd> fds;
    for (int fd = 0; fd < FD_SETSIZE; ++fd) {
        short ev = 0;
        if (readSet && FD_ISSET(fd, readSet)) ev |= POLLIN;
        if (writeSet && FD_ISSET(fd, writeSet)) ev |= POLLOUT;
        if (exceptSet && FD_ISSET(fd, exceptSet)) ev |= POLLPRI;
        if (!ev) continue;
        if (!isSocket(fd)) return -wsaENOTSOCK;
        fds.push_back({fd, ev, 0});
    }
    if (fds.empty()) return -wsaEINVAL;
    const int64_t deadline = microseconds < 0 ? 0 : nowMicroseconds() + microseconds;
    for (;;) {
        int wait = -1;
        if (microseconds >= 0) {
            int64_t left = deadline - nowMicroseconds();
            wait = left <= 0 ? 0 : int((left + 999) / 1000);
        }
        int rc = ::poll(fds.data(), fds.size(), wait);
        if (rc >= 0) break;
        // Windows' select is not cut short by a signal: wait for the rest of the time.
        if (errno != EINTR) return fail();
    }
    for (fd_set* s : sets)
        if (s) FD_ZERO(s);
    int count = 0;
    for (const pollfd& p : fds) {
        // A non-blocking connect that failed shows in the exception set only; one that succeeded
        // is an ordinary connection from now on.
        const bool pending = isPending(p.fd);
        const bool connectFailed = pending && (p.revents & (POLLERR | POLLHUP));
        if (pending && (p.revents & (POLLOUT | POLLERR | POLLHUP))) setPending(p.fd, false);
        if ((p.events & POLLIN) && (p.revents & (POLLIN | POLLHUP | POLLERR)) && !connectFailed) {
            FD_SET(p.fd, readSet);
            ++count;
        }
        if ((p.events & POLLOUT) && (p.revents & (POLLOUT | POLLERR | POLLHUP)) && !connectFailed) {
            FD_SET(p.fd, writeSet);
            ++count;
        }
        if (exceptSet && FD_ISSET(p.fd, exceptSet) == 0 &&
            ((p.events & POLLPRI) && ((p.revents & POLLPRI) || connectFailed))) {
            FD_SET(p.fd, exceptSet);
            ++count;
        }
    }
    return count;
}

int resolve(const char* node, const char* service, int flags, int family, int socktype, int protocol,
            Resolved** out) {
    *out = nullptr;
    addrinfo hints = {};
    hints.ai_flags = (flags & 0x01 ? AI_PASSIVE : 0) | (flags & 0x02 ? AI_CANONNAME : 0) |
                     (flags & 0x04 ? AI_NUMERICHOST : 0);
    hints.ai_family = sysFamily(family);
    hints.ai_socktype = socktype;
    hints.ai_protocol = protocol;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(node, service, &hints, &list);
    if (rc != 0) return eaiToWsa(rc);
    Resolved** tail = out;
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(Resolved::addr)) continue;
        Resolved* r = static_cast<Resolved*>(calloc(1, sizeof(Resolved)));
        if (!r) {
            freeResolved(*out);
            *out = nullptr;
            ::freeaddrinfo(list);
            return wsaNOT_ENOUGH_MEMORY;
        }
        r->family = winFamily(a->ai_family);
        r->socktype = a->ai_socktype;
        r->protocol = a->ai_protocol;
        r->addrLen = int(a->ai_addrlen);
        memcpy(r->addr, a->ai_addr, a->ai_addrlen);
        uint16_t fam = uint16_t(r->family);
        memcpy(r->addr, &fam, sizeof fam);
        if (a->ai_canonname) r->canonName = strdup(a->ai_canonname);
        *tail = r;
        tail = &r->next;
    }
    ::freeaddrinfo(list);
    return *out ? 0 : wsaNO_DATA;
}

void freeResolved(Resolved* list) {
    while (list) {
        Resolved* next = list->next;
        free(list->canonName);
        free(list);
        list = next;
    }
}

bool parseDotted(const char* text, uint32_t* out) {
    in_addr a;
    if (!text || ::inet_aton(text, &a) == 0) return false;
    *out = a.s_addr;
    return true;
}

bool hostName(char* buf, size_t size) {
    return ::gethostname(buf, size) == 0;
}

} // namespace kosock
