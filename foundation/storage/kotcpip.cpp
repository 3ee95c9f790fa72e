// The connection of the wire transfer: send, receive, trace dump, failure reports.
#include "foundation/storage/kotcpip.h"

#include <cstdio>
#include <cstring>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "platform/win32.h"

namespace {

// EBCDIC byte -> the ASCII code shown in the dump's third column; "." for the rest.
struct EbcdicTable {
    unsigned char map[256];
    constexpr EbcdicTable() : map() {
        for (int i = 0; i < 256; ++i)
            map[i] = '.';
        auto run = [this](int from, int to, int ascii) {
            for (int b = from; b <= to; ++b)
                map[b] = static_cast<unsigned char>(ascii + (b - from));
        };
        run(0x81, 0x89, 0x61);
        run(0x91, 0x99, 0x6A);
        run(0xA2, 0xA9, 0x73);
        run(0xC1, 0xC9, 0x41);
        run(0xD1, 0xD9, 0x4A);
        run(0xE2, 0xE9, 0x53);
        run(0xF0, 0xF9, 0x30);
        const unsigned char single[][2] = {
            {0x40, 0x20}, {0x4C, 0x3C}, {0x4D, 0x28}, {0x4E, 0x2B}, {0x4F, 0x7C}, {0x50, 0x26}, {0x5A, 0x21},
            {0x5B, 0x24}, {0x5C, 0x2A}, {0x5D, 0x29}, {0x5E, 0x3B}, {0x60, 0x2D}, {0x61, 0x2F}, {0x6B, 0x2C},
            {0x6C, 0x25}, {0x6D, 0x5F}, {0x6E, 0x3E}, {0x6F, 0x3F}, {0x7A, 0x3A}, {0x7B, 0x23}, {0x7C, 0x40},
            {0x7D, 0x27}, {0x7E, 0x3D}, {0x7F, 0x22}, {0xB9, 0x60}};
        for (const auto& s : single)
            map[s[0]] = s[1];
    }
};
constexpr EbcdicTable ebcdic;

// Collects the dump in a small buffer and appends it to the trace file piece by piece, so that a
// trace of any length needs no memory of its own.
class TraceWriter {
public:
    explicit TraceWriter(const char* name) {
        file_ = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) SetFilePointer(file_, 0, nullptr, FILE_END);
    }
    ~TraceWriter() {
        if (file_ == INVALID_HANDLE_VALUE) return;
        flush();
        CloseHandle(file_);
    }
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    bool ok() const { return file_ != INVALID_HANDLE_VALUE; }
    void put(const char* s, size_t n) {
        if (used_ + n > sizeof buf_) flush();
        memcpy(buf_ + used_, s, n);
        used_ += n;
    }
    void put(const char* s) { put(s, strlen(s)); }

private:
    void flush() {
        DWORD written = 0;
        if (used_) WriteFile(file_, buf_, DWORD(used_), &written, nullptr);
        used_ = 0;
    }
    HANDLE file_;
    char buf_[4096];
    size_t used_ = 0;
};

} // namespace

KoTCPIP::KoTCPIP(SOCKET socket, uint32_t timeoutSeconds, uint32_t timeoutMicroseconds,
                 const unsigned char* traceFile, unsigned int reportErrors)
    : socket_(socket), timeout_{int32_t(timeoutSeconds), int32_t(timeoutMicroseconds)},
      reportErrors_(reportErrors) {
    if (traceFile) {
        size_t n = strlen(reinterpret_cast<const char*>(traceFile));
        if (n >= sizeof traceName_) n = sizeof traceName_ - 1;
        memcpy(traceName_, traceFile, n);
    }
}

KoTCPIP::~KoTCPIP() = default;

void KoTCPIP::setTimeout(uint32_t seconds, uint32_t microseconds) {
    timeout_ = {int32_t(seconds), int32_t(microseconds)};
}

int32_t KoTCPIP::lose(int32_t code) {
    down_ = true;
    report(netLost, code);
    return netLost;
}

int32_t KoTCPIP::sendFailed(int code) {
    if (code == WSAENOTCONN) return lose(code);
    report(netFailed, code);
    return netFailed;
}

int32_t KoTCPIP::send(const void* buffer, uint32_t length) {
    const WSABUF piece = {length, static_cast<char*>(const_cast<void*>(buffer))};
    return sendPieces(&piece, 1);
}

int32_t KoTCPIP::sendPieces(const WSABUF* pieces, uint32_t count) {
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        trace(pieces[i].buf, pieces[i].len, 0);
        total += pieces[i].len;
    }
    if (socket_ == INVALID_SOCKET) return lose(0);
    DWORD sent = 0;
    if (WSASend(socket_, const_cast<WSABUF*>(pieces), count, &sent, 0, nullptr, nullptr) == SOCKET_ERROR)
        return sendFailed(WSAGetLastError());
    if (sent < total) {
        report(netFailed, 0);
        return netFailed;
    }
    return netOk;
}

int32_t KoTCPIP::sendFile(HANDLE file, uint32_t length) {
    if (socket_ == INVALID_SOCKET) return lose(0);
    // Length 0 would send the whole rest of the file.
    if (length == 0) return netOk;
    if (!TransmitFile(socket_, file, length, 0, nullptr, nullptr, 0)) return sendFailed(WSAGetLastError());
    return netOk;
}

int32_t KoTCPIP::receive(void* buffer, uint32_t length, uint32_t* got) {
    WSABUF piece = {length, static_cast<char*>(buffer)};
    return receivePieces(&piece, 1, got);
}

int32_t KoTCPIP::receivePieces(WSABUF* pieces, uint32_t count, uint32_t* got) {
    *got = 0;
    if (socket_ == INVALID_SOCKET) return lose(0);
    if (timeout_.tv_sec != 0 || timeout_.tv_usec != 0) {
        // A descriptor beyond the set's capacity cannot be waited for.
        if (socket_ >= SOCKET(FD_SETSIZE)) {
            report(netFailed, WSAEINVAL);
            return netFailed;
        }
        fd_set readable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&failed);
        FD_SET(socket_, &readable);
        FD_SET(socket_, &failed);
        int ready = select(0, &readable, nullptr, &failed, &timeout_);
        if (ready == 0) return netTimeout;
        if (ready == SOCKET_ERROR) return lose(WSAGetLastError());
    }
    DWORD n = 0, flags = 0;
    if (WSARecv(socket_, pieces, count, &n, &flags, nullptr, nullptr) == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        if (code == WSAENOTSOCK || code == WSAECONNABORTED || code == WSAECONNRESET || code == WSAESHUTDOWN)
            return lose(code);
        report(netFailed, code);
        return netFailed;
    }
    uint64_t length = 0;
    for (uint32_t i = 0; i < count; ++i)
        length += pieces[i].len;
    if (n == 0 && length > 0) return lose(0);
    *got = n;
    for (uint32_t i = 0, left = n; i < count && (left > 0 || i == 0); ++i) {
        const uint32_t part = left < pieces[i].len ? left : pieces[i].len;
        trace(pieces[i].buf, part, 1);
        left -= part;
    }
    return netOk;
}

void KoTCPIP::trace(const void* buffer, uint32_t length, unsigned int reading) {
    if (!traceName_[0]) return;
    TraceWriter out(reinterpret_cast<const char*>(traceName_));
    if (!out.ok()) return;
    const unsigned char* b = static_cast<const unsigned char*>(buffer);
    char line[64];
    snprintf(line, sizeof line, "%s %d bytes\r\n", reading ? "Reading" : "Sending", int32_t(length));
    out.put(line);
    out.put("HEX\t\t\t\tASCII\t\t\tEBCDIC\r\n");
    // Lines start at 0, 8, 16 ... up to and including the length, so a length that is a multiple of
    // eight ends with a blank line.
    for (uint64_t start = 0; start <= length; start += 8) {
        for (uint64_t i = start; i < start + 8; ++i) {
            if (i < length) {
                snprintf(line, sizeof line, "%.2X ", b[i]);
                out.put(line, 3);
            } else {
                out.put("   ", 3);
            }
        }
        out.put("\t", 1);
        for (uint64_t i = start; i < start + 8; ++i) {
            if (i < length) {
                char c[2] = {char(b[i] < 32 || b[i] > 127 ? '.' : b[i]), ' '};
                out.put(c, 2);
            } else {
                out.put("  ", 2);
            }
        }
        out.put("\t", 1);
        for (uint64_t i = start; i < start + 8; ++i) {
            if (i < length) {
                char c[2] = {char(ebcdic.map[b[i]]), ' '};
                out.put(c, 2);
            } else {
                out.put("  ", 2);
            }
        }
        out.put("\r\n", 2);
    }
    out.put("\r\n", 2);
}

void KoTCPIP::report(int32_t kind, int32_t code) {
    if (!reportErrors_) return;
    uint16_t number;
    switch (kind) {
    case netRefused:
        number = koErrNetRefused;
        break;
    case netLost:
        number = koErrNetLost;
        break;
    case netTimeout:
        number = koErrNetTimeout;
        break;
    case netFailed:
        number = koErrNetFailed;
        break;
    default:
        // An unknown kind raises nothing, so no earlier, unrelated record may be marked either.
        return;
    }
    KoError& raised = koRaiseError(number);
    // Only the record just raised is marked; the shared memory and dummy records never are.
    if (!(raised.flags & KoError::staticRecord)) {
        memcpy(raised.sqlState, "08S01", 6);
        raised.category = koNetErrorCategory;
    }
    if (kind == netFailed) raised << code;
}
