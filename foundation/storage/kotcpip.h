#pragma once
// A TCP/IP connection as the block temporary file uses it: sends, receives with an optional time-out,
// a hexadecimal trace of every buffer into a trace file, and the reporting of connection failures
// as library errors.
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"
#include "platform/winsock.h"

class KO_EXPORT KoTCPIP : public KoObject {
public:
    // Results of send and receive, also the kinds that report takes.
    enum : int32_t {
        netOk = 0,
        netFailed = -1,    // the call failed; the connection may still be usable
        netTimeout = -2,   // nothing arrived within the time-out
        netLost = -13,     // the connection is gone (reset, closed by the peer, no socket)
        netRefused = -233, // the transfer was refused before anything was sent or received
    };

    // A connection over an already connected socket, which stays the caller's (the destructor does
    // not close it). A time-out of 0 seconds and 0 microseconds lets a receive wait as long as it
    // takes. traceFile, when not null, names the file (at most 255 characters) to which every buffer
    // sent or received is dumped; reportErrors 0 keeps failures out of the thread's error list.
    explicit KoTCPIP(SOCKET socket, uint32_t timeoutSeconds = 0, uint32_t timeoutMicroseconds = 0,
                     const unsigned char* traceFile = nullptr, unsigned int reportErrors = 1);
    ~KoTCPIP() override;
    KoTCPIP(const KoTCPIP&) = delete;
    KoTCPIP& operator=(const KoTCPIP&) = delete;

    // Sends length bytes with one call (traced first when tracing is on): netOk when all went out;
    // netLost when there is no socket or it is not connected (the connection is then down);
    // netFailed for a short send or any other error. Failures are reported.
    int32_t send(const void* buffer, uint32_t length);
    // Sends the pieces with one gathered call, each dumped as a buffer of its own when tracing;
    // results and reports as send, the short send counted over all pieces.
    int32_t sendPieces(const WSABUF* pieces, uint32_t count);
    // Sends length bytes of an open file from its position, which advances past them, without
    // copying them through memory (TransmitFile). Results and reports as send. The bytes are not
    // dumped: a caller that traces sends them from memory (see isTracing).
    int32_t sendFile(HANDLE file, uint32_t length);
    // One receive of up to length bytes into buffer; *got is the number received. With a time-out
    // set, waits at most that long for data: netTimeout (not reported) when none came. netLost when
    // there is no socket, the wait fails, the peer closed the connection or the connection was
    // reset, aborted or shut down (the connection is then down); netFailed for other errors.
    int32_t receive(void* buffer, uint32_t length, uint32_t* got);
    // receive into several pieces, filled in order; *got is the total. When tracing, what each piece
    // received is dumped as a buffer of its own.
    int32_t receivePieces(WSABUF* pieces, uint32_t count, uint32_t* got);
    // Appends the dump of a buffer to the trace file: "Sending" or (reading not 0) "Reading" with the
    // length, a column header, then per eight bytes their hexadecimal values, the bytes as ASCII and
    // the bytes read as EBCDIC. Does nothing without a trace file.
    void trace(const void* buffer, uint32_t length, unsigned int reading);
    // When the connection reports errors, raises the library error of a failure kind (netRefused
    // 7504, netLost 7503, netTimeout 7501, netFailed 7500 with code as its parameter) and gives that
    // record SQL state "08S01" and category 21. Other kinds raise and change nothing.
    void report(int32_t kind, int32_t code);

    SOCKET getSocket() const { return socket_; }
    // True once a send or receive found the connection lost.
    bool isDown() const { return down_; }
    bool reportsErrors() const { return reportErrors_ != 0; }
    // True when every buffer sent or received is dumped to a trace file.
    bool isTracing() const { return traceName_[0] != 0; }
    // The receive time-out; 0 and 0 switch it off.
    void setTimeout(uint32_t seconds, uint32_t microseconds);

private:
    int32_t lose(int32_t code);
    // The result of a failed send call: lost when not connected, else failed; reported.
    int32_t sendFailed(int code);

    SOCKET socket_;
    TIMEVAL timeout_;
    unsigned int reportErrors_;
    bool down_ = false;
    unsigned char traceName_[256] = {};
};

// Category given to the errors of a failed connection.
constexpr uint16_t koNetErrorCategory = 21;
