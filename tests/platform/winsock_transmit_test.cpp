// TransmitFile and the descriptor's handle it takes: the bytes the peer gets, the file's position,
// transfers cut short by signals and full buffers, and the codes of failures.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/win32.h"
#include "platform/winsock.h"
#include "tests/support/support.h"

namespace {

using Bytes = std::vector<char>;

// Reads until n bytes came or the peer closed; slow, in small pieces with pauses.
Bytes drain(SOCKET s, size_t n, bool slow = false) {
    Bytes b(n);
    size_t got = 0;
    for (int r = 1; got < n && r > 0; got += size_t(r > 0 ? r : 0)) {
        r = recv(s, b.data() + got, int(slow ? std::min<size_t>(n - got, 4096) : n - got), 0);
        if (slow) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    b.resize(got);
    return b;
}

extern "C" void onTransmitSignal(int) {}

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
        ASSERT_EQ(bind(l, reinterpret_cast<SOCKADDR*>(&a), sizeof a) | listen(l, 1) |
                      getsockname(l, reinterpret_cast<SOCKADDR*>(&a), &len),
                  0);
        out_ = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(connect(out_, reinterpret_cast<SOCKADDR*>(&a), sizeof a), 0);
        in_ = accept(l, nullptr, nullptr);
        closesocket(l);
        content_.resize((8 << 20) + 300000); // more than the file road maps at once
        std::mt19937 rng(7);
        for (char& c : content_)
            c = char(rng());
        fd_ = _sopen(dir_.file("data").c_str(), _O_CREAT | _O_RDWR, _SH_DENYNO, _S_IREAD | _S_IWRITE);
        ASSERT_EQ(_write(fd_, content_.data(), unsigned(content_.size())), int(content_.size()));
        file_ = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
        ASSERT_NE(file_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        _close(fd_);
        closesocket(out_);
        closesocket(in_);
        WSACleanup();
    }
    BOOL transmitFrom(long position, DWORD bytes, DWORD perSend = 0, LPTRANSMIT_FILE_BUFFERS tb = nullptr) {
        return _lseek(fd_, position, 0) == position &&
               TransmitFile(out_, file_, bytes, perSend, nullptr, tb, 0);
    }

    kotest::TempDir dir_;
    Bytes content_;
    int fd_ = -1;
    HANDLE file_ = nullptr;
    SOCKET out_ = INVALID_SOCKET, in_ = INVALID_SOCKET;
};

TEST_F(Transmit, HeadFileAndTailArriveInOrderWhateverCutsTheTransferShort) {
    char head[] = "HEAD:", tail[] = ":TAIL";
    TRANSMIT_FILE_BUFFERS tb = {head, 5, tail, 5};
    struct sigaction sa = {}, old = {};
    sa.sa_handler = onTransmitSignal; // without SA_RESTART
    sigaction(SIGUSR1, &sa, &old);
    // position, bytes (0: the rest of the file), per send, head and tail, small buffer and signals
    const struct {
        long position;
        DWORD bytes, perSend;
        bool buffers, cut;
        uint32_t nonBlocking;
    } cases[] = {{0, 300000, 0, false, false, 0}, {12345, 1000, 0, true, false, 0},
                 {100000, 0, 0, true, false, 0},  {7, 70001, 997, false, false, 0},
                 {0, 300000, 0, true, true, 0},   {5, 300000, 0, false, true, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        const int sndbuf = c.cut ? 4096 : 1 << 20;
        setsockopt(out_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sndbuf), sizeof sndbuf);
        uint32_t nb = c.nonBlocking;
        ASSERT_EQ(ioctlsocket(out_, FIONBIO, &nb), 0);
        const size_t n = c.bytes ? c.bytes : content_.size() - size_t(c.position);
        Bytes want(content_.begin() + c.position, content_.begin() + c.position + long(n));
        if (c.buffers) {
            want.insert(want.begin(), head, head + 5);
            want.insert(want.end(), tail, tail + 5);
        }
        Bytes got;
        std::thread peer([&] { got = drain(in_, want.size(), c.cut); });
        const pthread_t sender = pthread_self();
        std::atomic<bool> done{false};
        std::thread pester([&] {
            for (; c.cut && !done; std::this_thread::sleep_for(std::chrono::microseconds(500)))
                pthread_kill(sender, SIGUSR1);
        });
        EXPECT_TRUE(transmitFrom(c.position, c.bytes, c.perSend, c.buffers ? &tb : nullptr))
            << WSAGetLastError();
        done = true;
        pester.join();
        peer.join();
        EXPECT_TRUE(got == want);
        EXPECT_EQ(_lseek(fd_, 0, 1), long(c.position + n)) << "the position follows the bytes sent";
    }
    sigaction(SIGUSR1, &old, nullptr);
}

TEST_F(Transmit, FailureCodes) {
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
    int wfd = _sopen(dir_.file("w").c_str(), _O_CREAT | _O_WRONLY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    EXPECT_FALSE(
        TransmitFile(out_, reinterpret_cast<HANDLE>(_get_osfhandle(wfd)), 3, 0, nullptr, nullptr, 0));
    EXPECT_EQ(WSAGetLastError(), int(ERROR_ACCESS_DENIED));
    _close(wfd);
    // A file that ends early: what it held goes out, then the call fails.
    EXPECT_FALSE(transmitFrom(long(content_.size()) - 10, 20));
    EXPECT_EQ(WSAGetLastError(), int(ERROR_HANDLE_EOF));
    EXPECT_TRUE(drain(in_, 10) == Bytes(content_.end() - 10, content_.end()));
    // A peer that does not read: the send time-out runs out.
    const DWORD ms = 50;
    ASSERT_EQ(setsockopt(out_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms), 0);
    int i = 0;
    while (i++ < 300 && transmitFrom(0, 300000)) {
    }
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    // A peer that resets: an error, then not connected; the broken pipe never raises SIGPIPE.
    const LINGER reset = {1, 0};
    setsockopt(in_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
    closesocket(in_);
    in_ = INVALID_SOCKET;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(transmitFrom(0, 1000));
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_FALSE(transmitFrom(0, 1000));
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    // The descriptor's one handle is made again when closed by mistake, and ends with the descriptor.
    EXPECT_EQ(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), file_);
    EXPECT_TRUE(CloseHandle(file_));
    HANDLE again = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    char c;
    DWORD n = 0;
    EXPECT_TRUE(_lseek(fd_, 9, 0) == 9 && ReadFile(again, &c, 1, &n, nullptr) && c == content_[9]);
    EXPECT_EQ(_close(fd_), 0);
    EXPECT_FALSE(ReadFile(again, &c, 1, &n, nullptr));
    EXPECT_EQ(_get_osfhandle(fd_), intptr_t(INVALID_HANDLE_VALUE));
    fd_ = -1;
}

} // namespace
