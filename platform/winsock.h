#pragma once
// Windows sockets (version 1.1 and the 2.x calls the library makes) over BSD sockets.
//
// A SOCKET is the system's descriptor. Calls return Windows' values (SOCKET_ERROR, INVALID_SOCKET)
// and leave the reason in WSAGetLastError, which is the thread's last error, with Windows' WSAE*
// codes. Blocking calls behave as on Windows: a signal never interrupts them (they go on after the
// handler), a blocking send hands over every byte before it returns, and no call raises SIGPIPE.
//
// The C library owns the names select, fd_set and timeval in every program that includes the
// standard headers, so the sets are the system's fd_set (FD_ZERO, FD_SET, FD_ISSET, FD_CLR work on
// SOCKET values below FD_SETSIZE) and the time-out is Windows' TIMEVAL. A null time-out must be
// written as a typed null (static_cast<const TIMEVAL*>(nullptr)) so that it reaches this select.
#include <sys/select.h>
#include "platform/types.h"

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET ((SOCKET)(~(UINT_PTR)0))
#define SOCKET_ERROR (-1)

#define MAKEWORD(low, high) ((WORD)(((BYTE)((low)&0xff)) | (((WORD)((BYTE)((high)&0xff))) << 8)))
#define LOBYTE(w) ((BYTE)((w)&0xff))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xff))

// Windows' numbering of families, types, levels and options (several differ from the system's).
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define PF_INET AF_INET
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_IP 0
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17
#define SOL_SOCKET 0xffff
#define SO_DEBUG 0x0001
#define SO_ACCEPTCONN 0x0002
#define SO_REUSEADDR 0x0004
#define SO_KEEPALIVE 0x0008
#define SO_DONTROUTE 0x0010
#define SO_BROADCAST 0x0020
#define SO_LINGER 0x0080
#define SO_OOBINLINE 0x0100
#define SO_SNDBUF 0x1001
#define SO_RCVBUF 0x1002
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define SO_ERROR 0x1007
#define SO_TYPE 0x1008
#define TCP_NODELAY 0x0001
#define MSG_OOB 0x1
#define MSG_PEEK 0x2
#define SD_RECEIVE 0
#define SD_SEND 1
#define SD_BOTH 2
#define INADDR_ANY ((uint32_t)0x00000000)
#define INADDR_LOOPBACK ((uint32_t)0x7f000001)
#define INADDR_NONE ((uint32_t)0xffffffff)
#define FIONBIO ((LONG)0x8004667eu)
#define FIONREAD ((LONG)0x4004667fu)
#define SIOCATMARK ((LONG)0x40047307u)
#define AI_PASSIVE 0x01
#define AI_CANONNAME 0x02
#define AI_NUMERICHOST 0x04

// Error codes (WSAGetLastError).
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEPFNOSUPPORT 10046
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENETRESET 10052
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTDOWN 10064
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSATYPE_NOT_FOUND 10109
#define WSAHOST_NOT_FOUND 11001
#define WSATRY_AGAIN 11002
#define WSANO_RECOVERY 11003
#define WSANO_DATA 11004
#define WSA_NOT_ENOUGH_MEMORY 8

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
typedef WSADATA* LPWSADATA;

struct WSABUF {
    uint32_t len;
    char* buf;
};
typedef WSABUF* LPWSABUF;
typedef void* LPWSAOVERLAPPED;
typedef void* LPWSAOVERLAPPED_COMPLETION_ROUTINE;

// Windows' struct timeval: 32-bit seconds and microseconds.
struct TIMEVAL {
    int32_t tv_sec;
    int32_t tv_usec;
};

struct IN_ADDR {
    uint32_t s_addr; // network byte order
};
struct SOCKADDR {
    uint16_t sa_family;
    char sa_data[14];
};
struct SOCKADDR_IN {
    int16_t sin_family;
    uint16_t sin_port; // network byte order
    IN_ADDR sin_addr;
    char sin_zero[8];
};
struct LINGER {
    uint16_t l_onoff;
    uint16_t l_linger;
};
// One host of gethostbyname: owned by the calling thread, valid until its next call.
struct HOSTENT {
    char* h_name;
    char** h_aliases;
    int16_t h_addrtype;
    int16_t h_length;
    char** h_addr_list;
};
#define h_addr h_addr_list[0]
struct ADDRINFOA {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    SOCKADDR* ai_addr;
    ADDRINFOA* ai_next;
};
typedef ADDRINFOA* PADDRINFOA;

// Start-up negotiates the version: a request below 1.0 fails with WSAVERNOTSUPPORTED (returned,
// not set); otherwise the result is the lower of the request and 2.2. Calls are counted; every
// WSACleanup gives one back, and one too many fails with WSANOTINITIALISED.
int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int af, int type, int protocol);
// Closes a socket; a descriptor that is not a socket is left alone (WSAENOTSOCK).
int closesocket(SOCKET s);
int bind(SOCKET s, const SOCKADDR* name, int nameLen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, SOCKADDR* addr, int* addrLen);
int connect(SOCKET s, const SOCKADDR* name, int nameLen);
int shutdown(SOCKET s, int how);
int getsockname(SOCKET s, SOCKADDR* name, int* nameLen);
int getpeername(SOCKET s, SOCKADDR* name, int* nameLen);
// Options with Windows' levels, names and value forms: BOOL options are 4-byte integers, SO_LINGER
// a LINGER, SO_RCVTIMEO and SO_SNDTIMEO a DWORD of milliseconds.
int setsockopt(SOCKET s, int level, int name, const char* value, int valueLen);
int getsockopt(SOCKET s, int level, int name, char* value, int* valueLen);
// FIONBIO (0 blocking, else non-blocking), FIONREAD (bytes ready to read), SIOCATMARK.
int ioctlsocket(SOCKET s, LONG cmd, uint32_t* arg);

// Sends len bytes; a blocking socket returns only when all of them were handed over (or the
// connection failed), a non-blocking one may send fewer. The number sent, or SOCKET_ERROR.
int send(SOCKET s, const char* buf, int len, int flags);
// One receive of up to len bytes: the number received, 0 when the peer closed, or SOCKET_ERROR.
// A blocking socket whose SO_RCVTIMEO runs out fails with WSAETIMEDOUT.
int recv(SOCKET s, char* buf, int len, int flags);
// The same over several buffers; only plain calls (overlapped and completion must be null). 0 or
// SOCKET_ERROR; *sent / *received tell the bytes.
int WSASend(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD sent, DWORD flags, LPWSAOVERLAPPED overlapped,
            LPWSAOVERLAPPED_COMPLETION_ROUTINE completion);
int WSARecv(SOCKET s, LPWSABUF buffers, DWORD count, LPDWORD received, LPDWORD flags,
            LPWSAOVERLAPPED overlapped, LPWSAOVERLAPPED_COMPLETION_ROUTINE completion);

// Bytes sent before and after the file by TransmitFile; either may be null with length 0.
struct TRANSMIT_FILE_BUFFERS {
    void* Head;
    DWORD HeadLength;
    void* Tail;
    DWORD TailLength;
};
typedef TRANSMIT_FILE_BUFFERS* LPTRANSMIT_FILE_BUFFERS;
typedef void* LPOVERLAPPED;
#define TF_DISCONNECT 0x01
#define TF_REUSE_SOCKET 0x02
#define TF_WRITE_BEHIND 0x04
#define TF_USE_DEFAULT_WORKER 0x00
#define TF_USE_SYSTEM_THREAD 0x10
#define TF_USE_KERNEL_APC 0x20

// Sends the head buffer, then bytesToWrite bytes of the file from its current position (0: up to
// its end), then the tail buffer, handing the file's bytes to the connection without copying them
// through the caller; the file's position advances past the bytes sent. bytesPerSend, when not 0,
// is the most handed over at once. The call sends everything or fails, on non-blocking sockets too.
// The file must not shrink during the call (its bytes are read through a mapping).
// TF_DISCONNECT shuts the sending side down afterwards; the worker hints are accepted; any other
// flag, and an overlapped call, fail with WSAEINVAL. A handle that is not an open file fails with
// ERROR_INVALID_HANDLE, one not open for reading with ERROR_ACCESS_DENIED, a file that ends before
// bytesToWrite with ERROR_HANDLE_EOF (after sending what it held); a send time-out (SO_SNDTIMEO)
// with WSAETIMEDOUT; a socket that is not connected (never, or no more after a reported reset) with
// WSAENOTCONN; other connection errors as send reports them. FALSE on failure, the code in
// WSAGetLastError.
BOOL TransmitFile(SOCKET s, HANDLE file, DWORD bytesToWrite, DWORD bytesPerSend, LPOVERLAPPED overlapped,
                  LPTRANSMIT_FILE_BUFFERS buffers, DWORD flags);

// Waits until a socket of the sets is ready; nfds is ignored. Sets with no socket count as absent;
// all absent is WSAEINVAL. A socket is readable when data, a connection to accept or the peer's
// close is there, in the exception set when out-of-band data waits or a non-blocking connect failed.
// Returns the number of sockets left in the sets, 0 on time-out; a null time-out waits forever.
int select(int nfds, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, const TIMEVAL* timeout);

// The IPv4 host of a name or a dotted address; null with WSAHOST_NOT_FOUND, WSATRY_AGAIN,
// WSANO_RECOVERY or WSANO_DATA.
HOSTENT* gethostbyname(const char* name);
// 0 or a WSA error code (also set as the last error); free the list with freeaddrinfo.
int getaddrinfo(const char* node, const char* service, const ADDRINFOA* hints, PADDRINFOA* result);
void freeaddrinfo(PADDRINFOA list);
// A dotted IPv4 address ("a.b.c.d", also the shorter forms "a.b.c", "a.b", "a" and hexadecimal or
// octal parts) in network byte order; INADDR_NONE when it does not parse.
uint32_t inet_addr(const char* text);
// The dotted form in a buffer of the calling thread.
char* inet_ntoa(IN_ADDR addr);

uint16_t htons(uint16_t v);
uint16_t ntohs(uint16_t v);
uint32_t htonl(uint32_t v);
uint32_t ntohl(uint32_t v);
