// Conformance of the Windows sockets calls with Windows' behaviour, on loopback only.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/winsock.h"

namespace {

class Sockets : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

    // A listening socket on 127.0.0.1 and an ephemeral port.
    SOCKET listener(uint16_t* port) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_NE(s, INVALID_SOCKET);
        SOCKADDR_IN a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(s, reinterpret_cast<SOCKADDR*>(&a), sizeof a), 0) << WSAGetLastError();
        EXPECT_EQ(listen(s, 4), 0);
        int len = sizeof a;
        EXPECT_EQ(getsockname(s, reinterpret_cast<SOCKADDR*>(&a), &len), 0);
        EXPECT_EQ(len, int(sizeof a));
        EXPECT_EQ(a.sin_family, AF_INET);
        *port = ntohs(a.sin_port);
        return s;
    }
    // A connected pair over loopback.
    void pair(SOCKET* client, SOCKET* server) {
        uint16_t port;
        SOCKET l = listener(&port);
        *client = socket(AF_INET, SOCK_STREAM, 0);
        SOCKADDR_IN to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = inet_addr("127.0.0.1");
        ASSERT_EQ(connect(*client, reinterpret_cast<SOCKADDR*>(&to), sizeof to), 0) << WSAGetLastError();
        *server = accept(l, nullptr, nullptr);
        ASSERT_NE(*server, INVALID_SOCKET);
        closesocket(l);
    }
};

TEST(WinsockStartup, VersionNegotiation) {
    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
    EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
    ASSERT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2)) << "a newer request gets the highest version";
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinsockAddresses, InetAddrForms) {
    const struct {
        const char* text;
        uint32_t hostOrder;
    } cases[] = {
        {"127.0.0.1", 0x7f000001}, {"10.1.2.3", 0x0a010203},   {"0x7f.1", 0x7f000001},
        {"127.1", 0x7f000001},     {"1.2.3.256", INADDR_NONE}, {"1.2.3.4.5", INADDR_NONE},
        {"", INADDR_NONE},         {"abc", INADDR_NONE},       {"255.255.255.255", INADDR_NONE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ntohl(inet_addr(c.text)), c.hostOrder) << c.text;
    IN_ADDR a;
    a.s_addr = inet_addr("192.168.0.10");
    EXPECT_STREQ(inet_ntoa(a), "192.168.0.10");
    EXPECT_EQ(htons(0x1234), ntohs(0x1234));
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&a.s_addr)[0], 192) << "network order is big-endian";
}

TEST_F(Sockets, NameResolutionOfLoopbackNames) {
    HOSTENT* h = gethostbyname("127.0.0.1");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->h_addrtype, AF_INET);
    EXPECT_EQ(h->h_length, 4);
    IN_ADDR first;
    memcpy(&first, h->h_addr_list[0], 4);
    EXPECT_EQ(ntohl(first.s_addr), INADDR_LOOPBACK);
    h = gethostbyname("localhost");
    ASSERT_NE(h, nullptr) << WSAGetLastError();
    memcpy(&first, h->h_addr, 4);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&first)[0], 127);

    ADDRINFOA hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    PADDRINFOA list = nullptr;
    ASSERT_EQ(getaddrinfo("127.0.0.1", "8080", &hints, &list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->ai_family, AF_INET);
    EXPECT_EQ(list->ai_addrlen, sizeof(SOCKADDR_IN));
    const SOCKADDR_IN* sin = reinterpret_cast<const SOCKADDR_IN*>(list->ai_addr);
    EXPECT_EQ(ntohs(sin->sin_port), 8080);
    EXPECT_EQ(sin->sin_family, AF_INET);
    freeaddrinfo(list);
    EXPECT_EQ(getaddrinfo("not a number", nullptr, &hints, &list), WSAHOST_NOT_FOUND);
}

TEST_F(Sockets, SendReceiveAndOrderlyClose) {
    SOCKET c, s;
    pair(&c, &s);
    EXPECT_EQ(send(c, "hello", 5, 0), 5);
    char buf[16] = {};
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 5);
    EXPECT_STREQ(buf, "hello");

    char a[] = "ab", b[] = "cde";
    WSABUF pieces[2] = {{2, a}, {3, b}};
    DWORD sent = 0, got = 0, flags = 0;
    EXPECT_EQ(WSASend(c, pieces, 2, &sent, 0, nullptr, nullptr), 0);
    EXPECT_EQ(sent, 5u);
    WSABUF in = {sizeof buf, buf};
    size_t total = 0;
    while (total < 5 && WSARecv(s, &in, 1, &got, &flags, nullptr, nullptr) == 0 && got > 0) {
        total += got;
        in.buf += got;
        in.len -= got;
    }
    EXPECT_EQ(memcmp(buf, "abcde", 5), 0);

    EXPECT_EQ(shutdown(c, SD_SEND), 0);
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 0) << "the peer's close reads as 0 bytes";
    EXPECT_EQ(closesocket(c), 0);
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(Sockets, ErrorCodesOfFailedCalls) {
    uint16_t port;
    SOCKET l = listener(&port);
    closesocket(l); // nobody listens there any more
    SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
    SOCKADDR_IN to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(c, reinterpret_cast<SOCKADDR*>(&to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    char buf[4];
    EXPECT_EQ(recv(c, buf, 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    closesocket(c);

    EXPECT_EQ(socket(AF_INET, 77, 0), INVALID_SOCKET);
    EXPECT_NE(WSAGetLastError(), 0);
    EXPECT_EQ(send(INVALID_SOCKET, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    // A descriptor that is not a socket is refused, never closed.
    EXPECT_EQ(closesocket(SOCKET(0)), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);

    SOCKET s;
    pair(&c, &s);
    const LINGER reset = {1, 0};
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset), 0);
    closesocket(s); // a hard close: the client sees a reset
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(recv(c, buf, 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    // Sending into a dead connection fails with a reset, never with a signal.
    int rc = 0;
    for (int i = 0; i < 10 && rc != SOCKET_ERROR; ++i)
        rc = send(c, "data", 4, 0);
    EXPECT_EQ(rc, SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    closesocket(c);
}

TEST_F(Sockets, OptionsWithWindowsForms) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    const LINGER on = {1, 7};
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&on), sizeof on), 0);
    LINGER back = {};
    int len = sizeof back;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&back), &len), 0);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(back.l_onoff, 1);
    EXPECT_EQ(back.l_linger, 7);

    for (int name : {SO_KEEPALIVE, SO_REUSEADDR}) {
        int v = 1, r = 0;
        len = sizeof r;
        ASSERT_EQ(setsockopt(s, SOL_SOCKET, name, reinterpret_cast<const char*>(&v), sizeof v), 0) << name;
        ASSERT_EQ(getsockopt(s, SOL_SOCKET, name, reinterpret_cast<char*>(&r), &len), 0) << name;
        EXPECT_EQ(r, 1) << name;
    }
    int v = 1;
    EXPECT_EQ(setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&v), sizeof v), 0);
    int type = 0;
    len = sizeof type;
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &len), 0);
    EXPECT_EQ(type, SOCK_STREAM);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x7777, reinterpret_cast<const char*>(&v), sizeof v), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    closesocket(s);
}

TEST_F(Sockets, SelectAndTimeOuts) {
    SOCKET c, s;
    pair(&c, &s);
    fd_set r, e;
    FD_ZERO(&r);
    FD_ZERO(&e);
    FD_SET(s, &r);
    FD_SET(s, &e);
    const TIMEVAL zero = {0, 0};
    EXPECT_EQ(select(0, &r, nullptr, &e, &zero), 0);
    EXPECT_FALSE(FD_ISSET(s, &r)) << "a socket that is not ready leaves the set";

    send(c, "x", 1, 0);
    FD_ZERO(&r);
    FD_SET(s, &r);
    const TIMEVAL second = {1, 0};
    EXPECT_EQ(select(0, &r, nullptr, nullptr, &second), 1);
    EXPECT_TRUE(FD_ISSET(s, &r));

    FD_ZERO(&r);
    EXPECT_EQ(select(0, &r, nullptr, nullptr, &zero), SOCKET_ERROR) << "no socket at all";
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);

    // Out-of-band data shows in the exception set and is read with MSG_OOB.
    char b;
    recv(s, &b, 1, 0);
    EXPECT_EQ(send(c, "!", 1, MSG_OOB), 1);
    FD_ZERO(&e);
    FD_SET(s, &e);
    EXPECT_EQ(select(0, nullptr, nullptr, &e, &second), 1);
    EXPECT_EQ(recv(s, &b, 1, MSG_OOB), 1);
    EXPECT_EQ(b, '!');

    // A receive time-out on a blocking socket fails with WSAETIMEDOUT, non-blocking with WOULDBLOCK.
    const DWORD ms = 50;
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms), 0);
    EXPECT_EQ(recv(s, &b, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    uint32_t nb = 1;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &nb), 0);
    EXPECT_EQ(recv(s, &b, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    send(c, "abc", 3, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint32_t ready = 0;
    EXPECT_EQ(ioctlsocket(s, FIONREAD, &ready), 0);
    EXPECT_EQ(ready, 3u);
    closesocket(c);
    closesocket(s);
}

TEST_F(Sockets, FailedNonBlockingConnectShowsAsException) {
    uint16_t port;
    closesocket(listener(&port)); // nobody listens there
    SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
    uint32_t nb = 1;
    ASSERT_EQ(ioctlsocket(c, FIONBIO, &nb), 0);
    SOCKADDR_IN to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int rc = connect(c, reinterpret_cast<SOCKADDR*>(&to), sizeof to);
    if (rc == SOCKET_ERROR) {
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    }
    fd_set w, e;
    FD_ZERO(&w);
    FD_ZERO(&e);
    FD_SET(c, &w);
    FD_SET(c, &e);
    const TIMEVAL second = {1, 0};
    EXPECT_EQ(select(0, nullptr, &w, &e, &second), 1);
    EXPECT_FALSE(FD_ISSET(c, &w)) << "a failed connect is not writable";
    EXPECT_TRUE(FD_ISSET(c, &e));
    int err = 0, len = sizeof err;
    EXPECT_EQ(getsockopt(c, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len), 0);
    EXPECT_EQ(err, WSAECONNREFUSED);
    closesocket(c);
}

extern "C" void onSignal(int) {}

TEST_F(Sockets, SignalsDoNotInterruptBlockingCalls) {
    struct sigaction sa = {}, old = {};
    sa.sa_handler = onSignal; // no SA_RESTART: the system would cut the calls short
    sigaction(SIGUSR1, &sa, &old);
    SOCKET c, s;
    pair(&c, &s);
    pthread_t self = pthread_self();
    std::atomic<bool> done{false};
    std::thread peer([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            pthread_kill(self, SIGUSR1);
        }
        send(c, "late", 4, 0);
        while (!done)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    char buf[8] = {};
    EXPECT_EQ(recv(s, buf, 4, 0), 4) << WSAGetLastError();
    EXPECT_STREQ(buf, "late");
    done = true;
    peer.join();
    closesocket(c);
    closesocket(s);
    sigaction(SIGUSR1, &old, nullptr);
}

} // namespace
