// Windows sockets over BSD sockets: Windows' types, return values and error codes in front of the
// system calls of winsock_sys.
#include "platform/winsock.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fileinternal.h"
#include "platform/system.h"
#include "platform/winsock_sys.h"

namespace {

std::atomic<int> startups{0};

constexpr WORD highestVersion = MAKEWORD(2, 2);

// The descriptor of a SOCKET, -1 when it cannot be one.
int fdOf(SOCKET s) {
    return s > SOCKET(INT_MAX) ? -1 : int(s);
}

// A result of the system side as Windows reports it: the value, or SOCKET_ERROR with the code set.
int finish(int rc) {
    if (rc < 0) {
        WSASetLastError(-rc);
        return SOCKET_ERROR;
    }
    WSASetLastError(0);
    return rc;
}

// Fails the call with WSAENOTSOCK unless s can be a descriptor.
#define KO_SOCKET_FD(s, fd, failValue)                                                                       \
    const int fd = fdOf(s);                                                                                  \
    if (fd < 0) {                                                                                            \
        WSASetLastError(WSAENOTSOCK);                                                                        \
        return failValue;                                                                                    \
    }

struct HostBuffer {
    HOSTENT host;
    char name[256];
    char* aliases[1];
    IN_ADDR addresses[16];
    char* list[17];
};
thread_local HostBuffer hostBuffer;
thread_local char dotted[16];

} // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data) {
    if (LOBYTE(versionRequested) < 1) return WSAVERNOTSUPPORTED;
    if (!data) return WSAEFAULT;
    const WORD requested = MAKEWORD(LOBYTE(versionRequested), HIBYTE(versionRequested));
    const bool above = LOBYTE(requested) > 2 || (LOBYTE(requested) == 2 && HIBYTE(requested) > 2);
    memset(data, 0, sizeof *data);
    data->wVersion = above ? highestVersion : requested;
    data->wHighVersion = highestVersion;
    snprintf(data->szDescription, sizeof data->szDescription, "WinSock 2.0");
    snprintf(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    data->iMaxSockets = LOBYTE(data->wVersion) >= 2 ? 0 : 32767;
    data->iMaxUdpDg = LOBYTE(data->wVersion) >= 2 ? 0 : 65467;
    ++startups;
    return 0;
}

int WSACleanup() {
    int n = startups.load();
    while (n > 0 && !startups.compare_exchange_weak(n, n - 1)) {
    }
    if (n <= 0) {
        WSASetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    return 0;
}

int WSAGetLastError() {
    return int(GetLastError());
}

void WSASetLastError(int error) {
    SetLastError(DWORD(error));
}

SOCKET socket(int af, int type, int protocol) {
    int rc = kosock::openSocket(af, type, protocol);
    if (rc < 0) {
        WSASetLastError(-rc);
        return INVALID_SOCKET;
    }
    WSASetLastError(0);
    return SOCKET(rc);
}

int closesocket(SOCKET s) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::closeSocket(fd));
}

int bind(SOCKET s, const SOCKADDR* name, int nameLen) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::bindSocket(fd, name, nameLen));
}

int listen(SOCKET s, int backlog) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::listenSocket(fd, backlog));
}

SOCKET accept(SOCKET s, SOCKADDR* addr, int* addrLen) {
    KO_SOCKET_FD(s, fd, INVALID_SOCKET);
    int rc = kosock::acceptSocket(fd, addr, addrLen);
    if (rc < 0) {
        WSASetLastError(-rc);
        return INVALID_SOCKET;
    }
    WSASetLastError(0);
    return SOCKET(rc);
}

int connect(SOCKET s, const SOCKADDR* name, int nameLen) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::connectSocket(fd, name, nameLen));
}

int shutdown(SOCKET s, int how) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    if (how < SD_RECEIVE || how > SD_BOTH) return finish(-WSAEINVAL);
    return finish(kosock::shutdownSocket(fd, how));
}

int getsockname(SOCKET s, SOCKADDR* name, int* nameLen) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::socketName(fd, false, name, nameLen));
}

int getpeername(SOCKET s, SOCKADDR* name, int* nameLen) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::socketName(fd, true, name, nameLen));
}

int setsockopt(SOCKET s, int level, int name, const char* value, int valueLen) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::setOption(fd, level, name, value, valueLen));
}

int getsockopt(SOCKET s, int level, int name, char* value, int* valueLen) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::getOption(fd, level, name, value, valueLen));
}

int ioctlsocket(SOCKET s, LONG cmd, uint32_t* arg) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    return finish(kosock::control(fd, cmd, arg));
}

int send(SOCKET s, const char* buf, int len, int flags) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    if (len < 0 || (!buf && len > 0)) return finish(-WSAEFAULT);
    kosock::Piece p = {const_cast<char*>(buf), size_t(len)};
    size_t sent = 0;
    int rc = kosock::sendPieces(fd, &p, 1, flags, &sent);
    return rc < 0 ? finish(rc) : finish(int(sent));
}

int recv(SOCKET s, char* buf, int len, int flags) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    if (len < 0 || (!buf && len > 0)) return finish(-WSAEFAULT);
    kosock::Piece p = {buf, size_t(len)};
    size_t got = 0;
    int rc = kosock::receivePieces(fd, &p, 1, flags, &got);
    return rc < 0 ? finish(rc) : finish(int(got));
}

namespace {

// The buffers of a WSASend or WSARecv as pieces; false when one cannot be used.
bool piecesOf(LPWSABUF buffers, DWORD count, kosock::Piece* out) {
    for (DWORD i = 0; i < count; ++i) {
        if (!buffers[i].buf && buffers[i].len > 0) return false;
        out[i] = {buffers[i].buf, buffers[i].len};
    }
    return true;
}

} // namespace

int WSASend(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD sent, DWORD flags, LPWSAOVERLAPPED overlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE completion) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    if (overlapped || completion) return finish(-WSAEINVAL);
    if (!buffers || !sent || count == 0 || count > 1024) return finish(-WSAEFAULT);
    kosock::Piece pieces[1024];
    if (!piecesOf(buffers, count, pieces)) return finish(-WSAEFAULT);
    size_t n = 0;
    int rc = kosock::sendPieces(fd, pieces, count, int(flags), &n);
    *sent = DWORD(n);
    return finish(rc < 0 ? rc : 0);
}

int WSARecv(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD received, LPDWORD flags,
            LPWSAOVERLAPPED overlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE completion) {
    KO_SOCKET_FD(s, fd, SOCKET_ERROR);
    if (overlapped || completion) return finish(-WSAEINVAL);
    if (!buffers || !received || !flags || count == 0 || count > 1024) return finish(-WSAEFAULT);
    kosock::Piece pieces[1024];
    if (!piecesOf(buffers, count, pieces)) return finish(-WSAEFAULT);
    size_t n = 0;
    int rc = kosock::receivePieces(fd, pieces, count, int(*flags), &n);
    *received = DWORD(n);
    if (rc == 0) *flags = 0;
    return finish(rc < 0 ? rc : 0);
}

BOOL TransmitFile(SOCKET s, HANDLE file, DWORD bytesToWrite, DWORD bytesPerSend, LPOVERLAPPED overlapped,
                  LPTRANSMIT_FILE_BUFFERS buffers, DWORD flags) {
    KO_SOCKET_FD(s, fd, FALSE);
    constexpr DWORD known = TF_DISCONNECT | TF_WRITE_BEHIND | TF_USE_SYSTEM_THREAD | TF_USE_KERNEL_APC;
    if (overlapped || (flags & ~known)) return finish(-WSAEINVAL) == 0;
    if (buffers && ((!buffers->Head && buffers->HeadLength) || (!buffers->Tail && buffers->TailLength)))
        return finish(-WSAEFAULT) == 0;
    if (!kosock::socketFd(fd)) return finish(-WSAENOTSOCK) == 0;
    // The file is held for the whole transfer, so a CloseHandle meanwhile cannot pull it away.
    KoHandleRef<KoFileObject> f;
    if (file) {
        f = koFileOf(file);
        if (!f) return finish(-int(ERROR_INVALID_HANDLE)) == 0;
    }
    if (buffers && buffers->HeadLength)
        if (int rc = kosock::sendAllData(fd, buffers->Head, buffers->HeadLength)) return finish(rc) == 0;
    if (f) {
        int64_t count = bytesToWrite;
        if (count == 0 && (count = kosock::fileBytesLeft(f->fd)) < 0) return finish(int(count)) == 0;
        uint64_t sent = 0;
        if (int rc = kosock::sendFileData(fd, f->fd, uint64_t(count), bytesPerSend, &sent))
            return finish(rc) == 0;
    }
    if (buffers && buffers->TailLength)
        if (int rc = kosock::sendAllData(fd, buffers->Tail, buffers->TailLength)) return finish(rc) == 0;
    if (flags & TF_DISCONNECT)
        if (int rc = kosock::shutdownSocket(fd, SD_SEND)) return finish(rc) == 0;
    WSASetLastError(0);
    return TRUE;
}

int select(int, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, const TIMEVAL* timeout) {
    int64_t us = -1;
    if (timeout) {
        if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return finish(-WSAEINVAL);
        us = int64_t(timeout->tv_sec) * 1000000 + timeout->tv_usec;
    }
    return finish(kosock::selectSockets(readSet, writeSet, exceptSet, us));
}

HOSTENT* gethostbyname(const char* name) {
    HostBuffer& b = hostBuffer;
    char local[256];
    if (!name || !*name) {
        // The local host, as Windows answers for an empty name.
        if (!kosock::hostName(local, sizeof local)) {
            WSASetLastError(WSANO_RECOVERY);
            return nullptr;
        }
        name = local;
    }
    kosock::Resolved* list = nullptr;
    int rc = kosock::resolve(name, nullptr, 0, AF_INET, SOCK_STREAM, 0, &list);
    if (rc != 0) {
        WSASetLastError(rc);
        return nullptr;
    }
    snprintf(b.name, sizeof b.name, "%s", name);
    b.aliases[0] = nullptr;
    int n = 0;
    for (kosock::Resolved* r = list; r && n < 16; r = r->next) {
        SOCKADDR_IN sin;
        memcpy(&sin, r->addr, sizeof sin);
        bool seen = false;
        for (int i = 0; i < n; ++i)
            seen = seen || b.addresses[i].s_addr == sin.sin_addr.s_addr;
        if (seen) continue;
        b.addresses[n] = sin.sin_addr;
        b.list[n] = reinterpret_cast<char*>(&b.addresses[n]);
        ++n;
    }
    b.list[n] = nullptr;
    kosock::freeResolved(list);
    b.host.h_name = b.name;
    b.host.h_aliases = b.aliases;
    b.host.h_addrtype = AF_INET;
    b.host.h_length = 4;
    b.host.h_addr_list = b.list;
    WSASetLastError(0);
    return &b.host;
}

int getaddrinfo(const char* node, const char* service, const ADDRINFOA* hints, PADDRINFOA* result) {
    if (!result) {
        WSASetLastError(WSAEFAULT);
        return WSAEFAULT;
    }
    *result = nullptr;
    if (!node && !service) {
        WSASetLastError(WSAHOST_NOT_FOUND);
        return WSAHOST_NOT_FOUND;
    }
    kosock::Resolved* list = nullptr;
    int rc = kosock::resolve(node, service, hints ? hints->ai_flags : 0, hints ? hints->ai_family : AF_UNSPEC,
                             hints ? hints->ai_socktype : 0, hints ? hints->ai_protocol : 0, &list);
    if (rc != 0) {
        WSASetLastError(rc);
        return rc;
    }
    PADDRINFOA* tail = result;
    for (kosock::Resolved* r = list; r; r = r->next) {
        size_t canon = r->canonName ? strlen(r->canonName) + 1 : 0;
        // One block per entry: the entry, its address and its canonical name.
        char* block = static_cast<char*>(calloc(1, sizeof(ADDRINFOA) + sizeof(r->addr) + canon));
        if (!block) {
            freeaddrinfo(*result);
            *result = nullptr;
            kosock::freeResolved(list);
            WSASetLastError(WSA_NOT_ENOUGH_MEMORY);
            return WSA_NOT_ENOUGH_MEMORY;
        }
        ADDRINFOA* a = reinterpret_cast<ADDRINFOA*>(block);
        a->ai_family = r->family;
        a->ai_socktype = r->socktype;
        a->ai_protocol = r->protocol;
        a->ai_addrlen = size_t(r->addrLen);
        a->ai_addr = reinterpret_cast<SOCKADDR*>(block + sizeof(ADDRINFOA));
        memcpy(a->ai_addr, r->addr, size_t(r->addrLen));
        if (canon) {
            a->ai_canonname = block + sizeof(ADDRINFOA) + sizeof(r->addr);
            memcpy(a->ai_canonname, r->canonName, canon);
        }
        *tail = a;
        tail = &a->ai_next;
    }
    kosock::freeResolved(list);
    WSASetLastError(0);
    return 0;
}

void freeaddrinfo(PADDRINFOA list) {
    while (list) {
        PADDRINFOA next = list->ai_next;
        free(list);
        list = next;
    }
}

uint32_t inet_addr(const char* text) {
    uint32_t a;
    return kosock::parseDotted(text, &a) ? a : INADDR_NONE;
}

char* inet_ntoa(IN_ADDR addr) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&addr.s_addr);
    snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return dotted;
}

uint16_t htons(uint16_t v) {
    return uint16_t((v >> 8) | (v << 8));
}
uint16_t ntohs(uint16_t v) {
    return htons(v);
}
uint32_t htonl(uint32_t v) {
    return __builtin_bswap32(v);
}
uint32_t ntohl(uint32_t v) {
    return htonl(v);
}
