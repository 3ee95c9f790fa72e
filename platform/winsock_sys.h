#pragma once
// Inside the sockets layer: the system calls behind the Windows sockets functions. The system's
// socket headers clash with Windows' names (socket, inet_addr, ...), so they stay in one unit behind
// this neutral interface. Results are the call's value (>= 0) or minus a WSAE* code; addresses are
// in Windows' layout and families are Windows' numbers.
#include <cstddef>
#include <cstdint>
#include <sys/select.h>

namespace kosock {

struct Piece {
    void* data;
    size_t size;
};

// One resolved address: family, type and protocol in Windows' numbers, address in Windows' layout.
struct Resolved {
    Resolved* next;
    int family;
    int socktype;
    int protocol;
    int addrLen;
    unsigned char addr[28];
    char* canonName; // malloc'd, or null
};

int openSocket(int family, int type, int protocol);
int closeSocket(int fd);
int bindSocket(int fd, const void* addr, int len);
int listenSocket(int fd, int backlog);
int acceptSocket(int fd, void* addr, int* len);
int connectSocket(int fd, const void* addr, int len);
int shutdownSocket(int fd, int how);
int socketName(int fd, bool peer, void* addr, int* len);
int setOption(int fd, int level, int name, const void* value, int len);
int getOption(int fd, int level, int name, void* value, int* len);
int control(int fd, long cmd, uint32_t* arg);
// Sends the pieces; blocking sockets go on until all is sent. *sent is what was handed over.
int sendPieces(int fd, Piece* pieces, size_t count, int flags, size_t* sent);
// One receive into the pieces.
int receivePieces(int fd, Piece* pieces, size_t count, int flags, size_t* got);
// Sends count bytes of fileFd from its position, which advances past them; perSend > 0 caps each
// hand-over. Non-blocking sockets wait for room, so the result is all or an error; *sent is what was
// handed over. The file ending first fails with minus ERROR_HANDLE_EOF (after what it held went out),
// a descriptor not open for reading with minus ERROR_ACCESS_DENIED, a socket that is not connected
// with minus WSAENOTCONN (a reset not yet reported fails with its own code first). The file must not
// shrink meanwhile: its bytes are read through a mapping.
int sendFileData(int fd, int fileFd, uint64_t count, size_t perSend, uint64_t* sent);
// Sends all size bytes; a non-blocking socket waits for room.
int sendAllData(int fd, const void* data, size_t size);
// The bytes of fileFd from its position to its end, or minus a Windows error code.
int64_t fileBytesLeft(int fileFd);
// The WSAE* code of a system error number; whether a descriptor is a socket, a non-blocking one.
int errorOfErrno(int e);
bool socketFd(int fd);
bool nonBlockingFd(int fd);
// microseconds < 0 waits forever.
int selectSockets(fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, int64_t microseconds);
// The addresses of a node (and service) as getaddrinfo finds them; a WSA error code, 0 on success.
int resolve(const char* node, const char* service, int flags, int family, int socktype, int protocol,
            Resolved** out);
void freeResolved(Resolved* list);
// A dotted IPv4 address in network order; false when it does not parse.
bool parseDotted(const char* text, uint32_t* out);
// The host's name; false when it cannot be read.
bool hostName(char* buf, size_t size);

} // namespace kosock
