// The pipe's default transport over Windows sockets.
#include <cstring>

#include "foundation/storage/kopipe.h"
#include "platform/win32.h"

namespace {

int32_t failWith(KoPipeError* error, int32_t kind, int32_t code, int32_t result) {
    error->kind = kind;
    error->code = code;
    return result;
}

// The codes after which the connection is of no further use.
bool isLost(int code) {
    return code == WSAENOTSOCK || code == WSAECONNABORTED || code == WSAECONNRESET || code == WSAESHUTDOWN;
}

bool isSeparator(unsigned char c) {
    return c == '\t' || c == '\n' || c == ' ' || c == ',';
}

// Splits the address text into host and port; false when there is no host or the port is not a
// decimal number from 1 to 65535.
bool parseAddress(const unsigned char* text, char* host, size_t hostSize, uint16_t* port) {
    if (!text) return false;
    const unsigned char* p = text;
    while (*p && isSeparator(*p))
        ++p;
    size_t n = 0;
    while (p[n] && !isSeparator(p[n]))
        ++n;
    if (n == 0 || n >= hostSize) return false;
    memcpy(host, p, n);
    host[n] = 0;
    p += n;
    while (*p && isSeparator(*p))
        ++p;
    uint32_t value = 0;
    size_t digits = 0;
    for (; p[digits] && !isSeparator(p[digits]); ++digits) {
        if (p[digits] < '0' || p[digits] > '9') return false;
        value = value * 10 + (p[digits] - '0');
        if (value > 65535) return false;
    }
    if (digits == 0 || value == 0) return false;
    *port = uint16_t(value);
    return true;
}

bool isNumericHost(const char* host) {
    for (const char* c = host; *c; ++c)
        if (!((*c >= '0' && *c <= '9') || *c == '.')) return false;
    return true;
}

SOCKET makeSocket(KoPipeError* error) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        failWith(error, pipeErrSocket, WSAGetLastError(), pipeFailed);
        return s;
    }
    // A close resets the connection at once; dead peers are noticed; small messages go out unbatched.
    const LINGER linger = {1, 0};
    const int on = 1;
    if (setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&linger), sizeof linger) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
        failWith(error, pipeErrSocket, WSAGetLastError(), pipeFailed);
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

int32_t sockClose(SOCKET& s, KoPipeError* error) {
    if (closesocket(s) != 0) return failWith(error, pipeErrClose, WSAGetLastError(), pipeFailed);
    s = INVALID_SOCKET;
    return 0;
}

int32_t sockConnect(SOCKET& s, KoPipeError* error, const unsigned char* address) {
    SOCKET made = makeSocket(error);
    if (made == INVALID_SOCKET) return pipeFailed;
    // Whatever fails from here on, the new socket is closed: none is left behind.
    auto abandon = [&](int32_t kind, int32_t code) {
        closesocket(made);
        return failWith(error, kind, code, pipeFailed);
    };
    char host[256];
    uint16_t port = 0;
    if (!parseAddress(address, host, sizeof host, &port)) return abandon(pipeErrAddress, 0);
    SOCKADDR_IN to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (isNumericHost(host)) {
        to.sin_addr.s_addr = inet_addr(host);
        if (to.sin_addr.s_addr == INADDR_NONE) return abandon(pipeErrAddress, 0);
    } else {
        HOSTENT* h = gethostbyname(host);
        if (!h || !h->h_addr_list[0]) return abandon(pipeErrLookup, WSAGetLastError());
        memcpy(&to.sin_addr, h->h_addr_list[0], sizeof to.sin_addr);
    }
    if (connect(made, reinterpret_cast<const SOCKADDR*>(&to), sizeof to) != 0)
        return abandon(pipeErrConnect, WSAGetLastError());
    s = made;
    return 0;
}

int32_t sockNoOp(SOCKET&, KoPipeError*) {
    return 0;
}

int32_t sockStartUp(SOCKET&, KoPipeError* error, int32_t* value) {
    WSADATA data;
    int rc = WSAStartup(MAKEWORD(1, 1), &data);
    if (rc != 0) return failWith(error, pipeErrStartUp, rc, pipeFailed);
    if (value) *value = 100;
    return 0;
}

int32_t sockProperties(SOCKET&, KoPipeError*, int32_t* first, int32_t* second) {
    if (first) *first = 0;
    if (second) *second = 4;
    return 0;
}

// Waits for the socket to become readable or to show out-of-band data: 1 ready, 0 time-out,
// pipeLost when the wait fails.
int32_t waitFor(SOCKET s, KoPipeError* error, const TIMEVAL* timeout, bool* outOfBand) {
    if (s == INVALID_SOCKET || s >= SOCKET(FD_SETSIZE))
        return failWith(error, pipeErrReceive, WSAENOTSOCK, pipeLost);
    fd_set readable, exceptional;
    FD_ZERO(&readable);
    FD_ZERO(&exceptional);
    FD_SET(s, &readable);
    FD_SET(s, &exceptional);
    int ready = select(0, &readable, nullptr, &exceptional, timeout);
    if (ready == SOCKET_ERROR) return failWith(error, pipeErrReceive, WSAGetLastError(), pipeLost);
    if (outOfBand) *outOfBand = FD_ISSET(s, &exceptional);
    return ready > 0 ? 1 : 0;
}

int32_t sockReceive(SOCKET& s, KoPipeError* error, unsigned char* buffer, int32_t size, int32_t* outOfBand,
                    const TIMEVAL* timeout) {
    bool urgent = false;
    int32_t ready = waitFor(s, error, timeout, &urgent);
    if (ready < 0) return ready;
    if (ready == 0) return pipeTimeout;
    if (urgent && outOfBand) *outOfBand = 1;
    int n = recv(s, reinterpret_cast<char*>(buffer), size, urgent ? MSG_OOB : 0);
    if (n == 0) return pipeLost;
    if (n == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        return failWith(error, pipeErrReceive, code, isLost(code) ? pipeLost : pipeFailed);
    }
    return n;
}

int32_t sockSend(SOCKET& s, KoPipeError* error, const unsigned char* data, int32_t length,
                 int32_t outOfBand) {
    int n = send(s, reinterpret_cast<const char*>(data), length, outOfBand ? MSG_OOB : 0);
    if (n == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        return failWith(error, pipeErrSend, code, isLost(code) ? pipeLost : pipeFailed);
    }
    return n;
}

int32_t sockPoll(SOCKET& s, KoPipeError* error) {
    const TIMEVAL now = {0, 0};
    int32_t rc = waitFor(s, error, &now, nullptr);
    return rc < 0 ? rc : 0;
}

constexpr KoPipeTransport socketTransport = {sockClose,      sockConnect, sockNoOp, sockStartUp,
                                             sockProperties, sockReceive, sockSend, sockPoll};

} // namespace

const KoPipeTransport& KoPipe::defaultTransport() {
    return socketTransport;
}
