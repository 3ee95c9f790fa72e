#pragma once
// A message connection to a server over TCP/IP whose transport is a table of replaceable operations.
// The pipe starts with the default transport over Windows sockets; a transport library loaded at run
// time may replace it. The framing of messages belongs to the code that drives the pipe.
//
// Transport operations never raise library errors: they fill the pipe's error record and return 0 or
// a byte count on success, pipeFailed for a failure that leaves the connection usable, pipeTimeout
// when a receive saw nothing within its time-out, pipeLost when the connection is gone.
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"
#include "platform/types.h"
#include "platform/winsock.h"

enum : int32_t { pipeFailed = -1, pipeTimeout = -2, pipeLost = -13 };

// Kinds of the transport error record.
enum : int32_t {
    pipeErrClose = 3,    // closing the socket failed
    pipeErrAddress = 4,  // the address text names no host, or a numeric host does not parse (code 0)
    pipeErrConnect = 5,  // the connect failed
    pipeErrReceive = 9,  // a receive or poll failed
    pipeErrSend = 10,    // a send failed
    pipeErrSocket = 12,  // the socket could not be created
    pipeErrLookup = 13,  // the host name could not be resolved
    pipeErrStartUp = 16, // the sockets could not be started
};

struct KoPipeError {
    int32_t kind; // one of pipeErr*, 0 before any failure
    int32_t code; // the system's error code (WSAE*), 0 if none
};

// The eight transport operations, in table order. Each gets the pipe's socket by reference.
struct KO_EXPORT KoPipeTransport {
    // Closes the socket (INVALID_SOCKET afterwards).
    int32_t (*close)(SOCKET& s, KoPipeError* error);
    // Connects to "host port" (address text: separators are tabs, newlines, spaces and commas; a host
    // of digits and dots is a dotted IPv4 address, any other is looked up by name). The new socket
    // goes into s; on every failure it is closed again and s is INVALID_SOCKET.
    int32_t (*connect)(SOCKET& s, KoPipeError* error, const unsigned char* address);
    int32_t (*noOp)(SOCKET& s, KoPipeError* error);
    // Starts the sockets; *value receives what the driving code passes on (100).
    int32_t (*startUp)(SOCKET& s, KoPipeError* error, int32_t* value);
    // The transport's two properties (0 and 4).
    int32_t (*properties)(SOCKET& s, KoPipeError* error, int32_t* first, int32_t* second);
    // Waits (timeout null: for ever) for data or out-of-band data, then one receive of up to size
    // bytes; *outOfBand is set to 1 when out-of-band data was read. The byte count.
    int32_t (*receive)(SOCKET& s, KoPipeError* error, unsigned char* buffer, int32_t size, int32_t* outOfBand,
                       const TIMEVAL* timeout);
    // One send, out-of-band when outOfBand is not 0. The byte count.
    int32_t (*send)(SOCKET& s, KoPipeError* error, const unsigned char* data, int32_t length,
                    int32_t outOfBand);
    // Checks the socket without waiting: 0, or pipeLost when the check itself fails.
    int32_t (*poll)(SOCKET& s, KoPipeError* error);
};

// Entry point a transport library exports (extern "C"): fills the table, which holds the default
// operations when it is called, so a library may replace only some. 0 on success.
typedef int (*KoPipeTransportEntry)(KoPipeTransport* table);
#define KO_PIPE_TRANSPORT_ENTRY "koPipeTransport"

class KO_EXPORT KoPipe : public KoObject {
public:
    KoPipeTransport transport;                 // the operations in use
    HMODULE transportLibrary = nullptr;        // the library the transport came from, if any
    void (*closeHook)(KoPipe* pipe) = nullptr; // called by the destructor while the pipe is connected
    uint32_t connected = 0;
    unsigned char* messageBuffer = nullptr; // ramAlloc'd by the driving code; freed here
    uint32_t messageLength = 0;
    unsigned char* secondBuffer = nullptr; // ramAlloc'd by the driving code; freed here
    uint32_t pipeFlag = 1;
    uint32_t counters[4] = {};
    unsigned char area[16] = {};
    SOCKET socket = INVALID_SOCKET;
    KoPipeError error = {0, 0};

    // A pipe with the default transport.
    KoPipe();
    // Frees the second buffer; calls the close hook when connected; frees the message buffer;
    // releases the transport library.
    ~KoPipe() override;
    KoPipe(const KoPipe&) = delete;
    KoPipe& operator=(const KoPipe&) = delete;

    // Loads a transport library by name and lets its entry point replace the table; an earlier
    // library is released. 1 with library error 2733 when it cannot be loaded, 2734 when it lacks
    // the entry point; 1 and nothing changed when the entry point refuses or leaves an operation empty.
    KoStatus loadTransport(const unsigned char* library);

    // The default transport over Windows sockets.
    static const KoPipeTransport& defaultTransport();
};
