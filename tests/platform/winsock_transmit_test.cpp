// TransmitFile and the runtime descriptor's handle it takes: what reaches the peer, the file's
// position, transfers cut short by signals and full buffers, and the error codes of failures.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/win32.h"
#include "platform/system.h"
#include "platform/winsock.h"
#include "tests/support/support.h"

namespace {

using Bytes = std::vector<char>;

Bytes randomBytes(size_t n, unsigned seed) {
    Bytes b(n);
    std::mt19937 rng(seed);
    for (char& c : b)
        c = char(rng());
    return b;
}

// Reads until n bytes came or the peer closed; with slow set, in small pieces with pauses.
Bytes drain(SOCKET s, size_t n, bool slow = false) {
    Bytes b(n);
    size_t got = 0;
    while (got < n) {
        const int ask = slow ? int(std::min<size_t>(n - got, 4096)) : int(n - got);
        int r = recv(s, b.data() + got, ask, 0);
        if (r <= 0) break;
        got += size_t(r);
        if (slow) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    b.resize(got);
    return b;
}

class Transmit : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        SOCKET l = socket(AF_INET, SOCK_STREAM, 0);
        SOCKADDR_IN a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        ASSERT_EQ(bind(l, reinterpret_cast<SOCKADDR*>(&a), sizeof a), 0);
        ASSERT_EQ(listen(l, 1), 0);
        ASSERT_EQ(getsockname(l, reinterpret_cast<SOCKADDR*>(&a), &len), 0);
        out_ = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(connect(out_, reinterpret_cast<SOCKADDR*>(&a), sizeof a), 0);
        in_ = accept(l, nullptr, nullptr);
        closesocket(l);
        content_ = randomBytes(300000, 7);
        name_ = dir_.file("data");
        fd_ = _sopen(name_.c_str(), _O_CREAT | _O_RDWR, _SH_DENYNO, _S_IREAD | _S_IWRITE);
        ASSERT_GE(fd_, 0);
        ASSERT_EQ(_write(fd_, content_.data(), unsigned(content_.size())), int(content_.size()));
        file_ = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
        ASSERT_NE(file_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (fd_ >= 0) _close(fd_);
        closesocket(out_);
        if (in_ != INVALID_SOCKET) closesocket(in_);
        WSACleanup();
    }
    Bytes slice(size_t at, size_t n) const { return Bytes(content_.begin() + at, content_.begin() + at + n); }

    kotest::TempDir dir_;
    std::string name_;
    Bytes content_;
    int fd_ = -1;
    HANDLE file_ = nullptr;
    SOCKET out_ = INVALID_SOCKET, in_ = INVALID_SOCKET;
};

TEST_F(Transmit, HeadFileAndTailArriveInOrderAndThePositionMoves) {
    char head[] = "HEAD:", tail[] = ":TAIL";
    const struct {
        long position;
        DWORD bytes, perSend;
        bool buffers;
    } cases[] = {
        {0, 300000, 0, false},  {12345, 1000, 0, true},
        {299999, 1, 0, true},   {100000, 0, 0, false}, // 0: the rest of the file
        {7, 70001, 4096, true}, {0, 0, 997, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        ASSERT_EQ(_lseek(fd_, c.position, 0), c.position);
        const size_t n = c.bytes ? c.bytes : content_.size() - size_t(c.position);
        TRANSMIT_FILE_BUFFERS tb = {head, 5, tail, 5};
        Bytes want = slice(size_t(c.position), n);
        if (c.buffers) {
            want.insert(want.begin(), head, head + 5);
            want.insert(want.end(), tail, tail + 5);
        }
        Bytes got;
        std::thread peer([&] { got = drain(in_, want.size()); });
        EXPECT_TRUE(TransmitFile(out_, file_, c.bytes, c.perSend, nullptr, c.buffers ? &tb : nullptr, 0));
        peer.join();
        EXPECT_TRUE(got == want);
        EXPECT_EQ(_lseek(fd_, 0, 1), long(c.position + n)) << "the position follows the bytes sent";
    }
    // Without a file only the buffers go.
    TRANSMIT_FILE_BUFFERS tb = {head, 5, tail, 5};
    EXPECT_TRUE(TransmitFile(out_, nullptr, 0, 0, nullptr, &tb, 0));
    EXPECT_TRUE(drain(in_, 10) == Bytes({'H', 'E', 'A', 'D', ':', ':', 'T', 'A', 'I', 'L'}));
}

extern "C" void onTransmitSignal(int) {}

TEST_F(Transmit, SignalsAndFullBuffersOnlyDelayTheTransfer) {
    // A small send buffer and a slow reader cut every kernel transfer short; signals interrupt it.
    struct sigaction sa = {}, old = {};
    sa.sa_handler = onTransmitSignal; // without SA_RESTART
    sigaction(SIGUSR1, &sa, &old);
    const int small = 4096;
    ASSERT_EQ(setsockopt(out_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small),
              0);
    for (uint32_t nonBlocking : {0u, 1u}) {
        ASSERT_EQ(ioctlsocket(out_, FIONBIO, &nonBlocking), 0);
        ASSERT_EQ(_lseek(fd_, 0, 0), 0);
        pthread_t sender = pthread_self();
        std::atomic<bool> done{false};
        std::thread pester([&] {
            while (!done) {
                pthread_kill(sender, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        Bytes got;
        std::thread peer([&] { got = drain(in_, content_.size(), true); });
        EXPECT_TRUE(TransmitFile(out_, file_, DWORD(content_.size()), 0, nullptr, nullptr, 0))
            << WSAGetLastError() << " non-blocking " << nonBlocking;
        done = true;
        pester.join();
        peer.join();
        EXPECT_TRUE(got == content_) << "non-blocking " << nonBlocking;
    }
    sigaction(SIGUSR1, &old, nullptr);
}

TEST_F(Transmit, FailuresAndTheirCodes) {
    // Refused before anything is sent.
    int overlapped = 0;
    EXPECT_FALSE(TransmitFile(out_, file_, 1, 0, &overlapped, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_FALSE(TransmitFile(out_, file_, 1, 0, nullptr, nullptr, TF_REUSE_SOCKET));
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_FALSE(TransmitFile(out_, reinterpret_cast<HANDLE>(intptr_t(0x7777)), 1, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), int(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(TransmitFile(SOCKET(fd_), file_, 1, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    ASSERT_EQ(_lseek(fd_, 0, 0), 0);
    SOCKET loose = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_FALSE(TransmitFile(loose, file_, 1, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    closesocket(loose);
    const std::string writeOnlyName = dir_.file("w");
    int wfd = _sopen(writeOnlyName.c_str(), _O_CREAT | _O_WRONLY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    ASSERT_GE(wfd, 0);
    ASSERT_EQ(_write(wfd, "abc", 3), 3);
    EXPECT_FALSE(
        TransmitFile(out_, reinterpret_cast<HANDLE>(_get_osfhandle(wfd)), 3, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), int(ERROR_ACCESS_DENIED));
    _close(wfd);

    // A file that ends early: what it held went out, then the call fails.
    ASSERT_EQ(_lseek(fd_, long(content_.size()) - 10, 0), long(content_.size()) - 10);
    EXPECT_FALSE(TransmitFile(out_, file_, 20, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), int(ERROR_HANDLE_EOF));
    EXPECT_TRUE(drain(in_, 10) == slice(content_.size() - 10, 10));

    // A peer that does not read: the send time-out runs out.
    const DWORD ms = 100;
    ASSERT_EQ(setsockopt(out_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms), 0);
    bool timedOut = false;
    for (int i = 0; i < 200 && !timedOut; ++i)
        timedOut = _lseek(fd_, 0, 0) == 0 &&
                   !TransmitFile(out_, file_, DWORD(content_.size()), 0, nullptr, nullptr, 0) &&
                   WSAGetLastError() == WSAETIMEDOUT;
    EXPECT_TRUE(timedOut);

    // A peer that reset the connection: an error, never SIGPIPE.
    const LINGER reset = {1, 0};
    setsockopt(in_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
    closesocket(in_);
    in_ = INVALID_SOCKET;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int code = 0;
    for (int i = 0; i < 3 && code == 0; ++i)
        if (_lseek(fd_, 0, 0) == 0 && !TransmitFile(out_, file_, 1000, 0, nullptr, nullptr, 0))
            code = WSAGetLastError();
    EXPECT_EQ(code, WSAECONNRESET);
    // Once the reset was reported the socket is no longer connected; the broken pipe raises no signal.
    EXPECT_FALSE(TransmitFile(out_, file_, 1000, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
}

TEST_F(Transmit, DisconnectEndsTheStreamAfterTheFile) {
    ASSERT_EQ(_lseek(fd_, 0, 0), 0);
    Bytes got;
    std::thread peer([&] { got = drain(in_, content_.size() + 1); });
    EXPECT_TRUE(TransmitFile(out_, file_, 5000, 0, nullptr, nullptr, TF_DISCONNECT | TF_USE_KERNEL_APC));
    peer.join();
    EXPECT_TRUE(got == slice(0, 5000)) << "the peer reads the end of the stream after the file";
}

TEST(RuntimeHandle, TheDescriptorsHandleReadsItsFileUntilTheDescriptorCloses) {
    kotest::TempDir dir;
    const std::string name = dir.file("f");
    int fd = _sopen(name.c_str(), _O_CREAT | _O_RDWR, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(_write(fd, "0123456789", 10), 10);
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), h) << "one handle per descriptor";
    // Handle and descriptor share the position.
    ASSERT_EQ(_lseek(fd, 4, 0), 4);
    char buf[4] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, buf, 3, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "456");
    EXPECT_EQ(_lseek(fd, 0, 1), 7);
    // A handle closed by mistake is made again; the descriptor stays open.
    EXPECT_TRUE(CloseHandle(h));
    HANDLE again = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(ReadFile(again, buf, 3, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "789");
    // Closing the descriptor ends the handle.
    EXPECT_EQ(_close(fd), 0);
    EXPECT_FALSE(ReadFile(again, buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(_get_osfhandle(fd), intptr_t(INVALID_HANDLE_VALUE));
    int e = 0;
    _get_errno(&e);
    EXPECT_EQ(e, crtEBADF);
    EXPECT_EQ(_get_osfhandle(-1), intptr_t(INVALID_HANDLE_VALUE));
}

} // namespace
