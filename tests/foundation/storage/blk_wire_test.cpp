// The block temporary file on real loopback connections, with a peer thread on the other end: the
// bytes on the wire, partial and excess deliveries, failures, time-outs, signals, reports and the
// trace dump.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "foundation/errors/koerrnum.h"
#include "foundation/storage/blktmpfile.h"
#include "foundation/storage/kotcpip.h"
#include "tests/foundation/storage/blk_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes pattern(size_t n, unsigned seed) {
    Bytes b(n);
    std::mt19937 rng(seed);
    for (auto& c : b)
        c = static_cast<unsigned char>(rng());
    return b;
}

// Reads exactly n bytes (or until the peer closes).
Bytes receiveAll(SOCKET s, size_t n) {
    Bytes b(n);
    size_t got = 0;
    while (got < n) {
        int r = recv(s, reinterpret_cast<char*>(b.data() + got), int(n - got), 0);
        if (r <= 0) break;
        got += size_t(r);
    }
    b.resize(got);
    return b;
}

// Sends in random pieces with short pauses, so the receiver sees partial deliveries.
void sendInPieces(SOCKET s, const Bytes& b, unsigned seed) {
    std::mt19937 rng(seed);
    for (size_t at = 0; at < b.size();) {
        size_t n = std::min<size_t>(b.size() - at, 1 + rng() % 9000);
        ASSERT_EQ(send(s, reinterpret_cast<const char*>(b.data() + at), int(n), 0), int(n));
        at += n;
        if (rng() % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
}

Bytes streamBytes(BlkTmpFile& f, uint32_t from = 0) {
    Bytes b(f.getTotalLength() - from);
    EXPECT_EQ(f.read(from, b.data(), uint32_t(b.size())), koSuccess);
    return b;
}

class BlkWire : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        connectedPair(&mine_, &peer_);
    }
    void TearDown() override {
        closesocket(mine_);
        if (peer_ != INVALID_SOCKET) closesocket(peer_);
        StorageTest::TearDown();
    }
    void closePeer() {
        closesocket(peer_);
        peer_ = INVALID_SOCKET;
    }
    // The last error must be the network error number, marked as a connection failure.
    void expectNetError(uint16_t number) {
        KoError* e = KoErrorKeeper::getLastError();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->number, number);
        EXPECT_STREQ(reinterpret_cast<const char*>(e->sqlState), "08S01");
        EXPECT_EQ(e->category, koNetErrorCategory);
    }
    SOCKET mine_ = INVALID_SOCKET, peer_ = INVALID_SOCKET;
};

TEST_F(BlkWire, WriteToWireSendsTheStreamFromEveryPlace) {
    const uint32_t bs = 1000;
    BlkTmpFile f(bs);
    Bytes data = pattern(10500, 1);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    // Newer bytes in every buffer that holds file-resident copies: they are what goes out.
    unsigned char probe[4];
    ASSERT_EQ(f.read(2000, probe, 4), koSuccess);
    ASSERT_EQ(f.write(2001, "new", 3), koSuccess);
    unsigned char* p;
    uint32_t avail;
    ASSERT_EQ(f.tmpPointer(5000, &p, &avail, 1), koSuccess);
    memcpy(p, "live", 4);
    const Bytes want = streamBytes(f);
    ASSERT_EQ(memcmp(want.data() + 5000, "live", 4), 0);

    KoTCPIP conn(mine_);
    for (uint32_t offset : {0u, 123u, 9400u, 10499u}) {
        const uint32_t len = uint32_t(want.size()) - offset;
        Bytes got;
        std::thread peer([&] { got = receiveAll(peer_, len); });
        EXPECT_EQ(f.writeToWire(offset, &conn, len), koSuccess);
        peer.join();
        EXPECT_TRUE(got == Bytes(want.begin() + offset, want.end())) << "offset " << offset;
    }
    EXPECT_EQ(f.writeToWire(10000, &conn, 501), koFailure) << "the stream does not hold these bytes";
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(BlkWire, AppendFromWireAssemblesPartialDeliveries) {
    for (uint32_t bs : {4096u, 32768u, 100000u}) {
        BlkTmpFile f(bs);
        ASSERT_EQ(f.appendInt32(7), koSuccess); // receiving appends after what is there
        Bytes data = pattern(150000, bs);
        std::thread peer([&] { sendInPieces(peer_, data, bs); });
        KoTCPIP conn(mine_);
        EXPECT_EQ(f.appendFromWire(&conn, uint32_t(data.size())), koSuccess);
        peer.join();
        EXPECT_EQ(f.getTotalLength(), 4 + data.size());
        EXPECT_EQ(f.getCurrentLocation(), f.getTotalLength());
        EXPECT_TRUE(streamBytes(f, 4) == data) << "block size " << bs;
    }
}

TEST_F(BlkWire, BytesBeyondTheAnnouncedLengthAreKept) {
    BlkTmpFile f(2048);
    Bytes data = pattern(6000, 3);
    ASSERT_EQ(send(peer_, reinterpret_cast<const char*>(data.data()), int(data.size()), 0), int(data.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    KoTCPIP conn(mine_);
    ASSERT_EQ(f.appendFromWire(&conn, 1000), koSuccess);
    const uint32_t first = f.getTotalLength();
    EXPECT_GE(first, 1000u);
    EXPECT_TRUE(streamBytes(f) == Bytes(data.begin(), data.begin() + first)) << "what came is kept, in order";
    if (first < data.size()) {
        ASSERT_EQ(f.appendFromWire(&conn, uint32_t(data.size()) - first), koSuccess);
    }
    EXPECT_TRUE(streamBytes(f) == data);
}

TEST_F(BlkWire, PeerClosingMidMessageIsNeverSuccess) {
    // Lengths below and above the receive window: a short message never passes as complete.
    for (uint32_t announced : {20000u, 100000u}) {
        SCOPED_TRACE(announced);
        if (peer_ == INVALID_SOCKET) connectedPair(&mine_, &peer_);
        BlkTmpFile f(8192);
        Bytes part = pattern(announced / 2 + 1000, announced);
        std::thread peer([&] {
            sendInPieces(peer_, part, 5);
            closePeer();
        });
        KoTCPIP conn(mine_);
        EXPECT_EQ(f.appendFromWire(&conn, announced), koFailure);
        peer.join();
        expectNetError(koErrNetLost);
        EXPECT_TRUE(conn.isDown());
        EXPECT_TRUE(streamBytes(f) == part) << "the bytes that came stay appended";
        closesocket(mine_);
        mine_ = INVALID_SOCKET;
    }
    mine_ = socket(AF_INET, SOCK_STREAM, 0);
}

TEST_F(BlkWire, LengthBeyondTheStreamLimitIsRefusedUnread) {
    BlkTmpFile f;
    ASSERT_EQ(f.append("head", 4), koSuccess);
    ASSERT_EQ(send(peer_, "abc", 3, 0), 3);
    KoTCPIP conn(mine_);
    const uint64_t allocations = ramAllocationCount();
    for (uint32_t len : {0xFFFFFFFFu, BlkTmpFile::maxLength - 3}) {
        EXPECT_EQ(f.appendFromWire(&conn, len), koFailure);
        expectNetError(koErrNetRefused);
    }
    EXPECT_LT(ramAllocationCount() - allocations, 40u) << "nothing but the error records";
    EXPECT_EQ(f.getTotalLength(), 4u);
    ASSERT_EQ(f.appendFromWire(&conn, 3), koSuccess) << "nothing was read from the connection";
    EXPECT_TRUE(streamBytes(f) == Bytes({'h', 'e', 'a', 'd', 'a', 'b', 'c'}));
}

extern "C" void ignoreSignal(int) {}

TEST_F(BlkWire, SignalsAndTimeOutsDoNotCutAReceive) {
    struct sigaction sa = {}, old = {};
    sa.sa_handler = ignoreSignal; // without SA_RESTART
    sigaction(SIGUSR2, &sa, &old);
    BlkTmpFile f(4096);
    Bytes data = pattern(30000, 9);
    pthread_t receiver = pthread_self();
    std::atomic<bool> done{false};
    std::thread peer([&] {
        for (int i = 0; i < 6; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            pthread_kill(receiver, SIGUSR2);
        }
        sendInPieces(peer_, data, 2);
        while (!done)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    KoTCPIP conn(mine_, 0, 5000); // times out many times before the data comes
    EXPECT_EQ(f.appendFromWire(&conn, uint32_t(data.size())), koSuccess);
    done = true;
    peer.join();
    sigaction(SIGUSR2, &old, nullptr);
    EXPECT_TRUE(streamBytes(f) == data);
    EXPECT_EQ(errorCount(), 0u) << "time-outs are not failures";

    uint32_t got = 0;
    unsigned char b;
    EXPECT_EQ(conn.receive(&b, 1, &got), KoTCPIP::netTimeout);
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(BlkWire, ConnectionResultsAndReports) {
    KoTCPIP none(INVALID_SOCKET);
    uint32_t got = 0;
    unsigned char b = 0;
    EXPECT_EQ(none.send(&b, 1), KoTCPIP::netLost);
    expectNetError(koErrNetLost);
    EXPECT_EQ(none.receive(&b, 1, &got), KoTCPIP::netLost);
    EXPECT_TRUE(none.isDown());

    // Report table; an unknown kind leaves an earlier, unrelated error as it was.
    const struct {
        int32_t kind;
        uint16_t number;
        const char* text;
    } rows[] = {
        {KoTCPIP::netRefused, koErrNetRefused, "The network transfer was refused by the connection."},
        {KoTCPIP::netLost, koErrNetLost, "The network connection was lost."},
        {KoTCPIP::netTimeout, koErrNetTimeout, "The network transfer timed out."},
        {KoTCPIP::netFailed, koErrNetFailed, "The network transfer failed (error 10054)."},
    };
    KoTCPIP conn(mine_);
    for (const auto& r : rows) {
        conn.report(r.kind, 10054);
        expectNetError(r.number);
        EXPECT_STREQ(reinterpret_cast<const char*>(KoErrorKeeper::getLastError()->getErrorText()), r.text);
    }
    koRaiseError(koErrFileCreate) << "x";
    const size_t before = errorCount();
    for (int32_t kind : {0, -3, 5, -232})
        conn.report(kind, 1);
    EXPECT_EQ(errorCount(), before);
    EXPECT_EQ(KoErrorKeeper::getLastError()->sqlState[0], 0);
    EXPECT_EQ(KoErrorKeeper::getLastError()->category, 0);
    KoTCPIP quiet(mine_, 0, 0, nullptr, 0);
    quiet.report(KoTCPIP::netLost, 0);
    EXPECT_EQ(errorCount(), before) << "a connection that does not report raises nothing";

    // A hard close by the peer: the receive finds the connection lost.
    const LINGER reset = {1, 0};
    setsockopt(peer_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
    closePeer();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(conn.receive(&b, 1, &got), KoTCPIP::netLost);
    expectNetError(koErrNetLost);
}

TEST_F(BlkWire, TraceDumpText) {
    kotest::TempDir dir;
    const std::string name = dir.file("net.trc");
    KoTCPIP conn(mine_, 0, 0, reinterpret_cast<const unsigned char*>(name.c_str()));
    const unsigned char three[] = {0x41, 0x81, 0x0A};
    ASSERT_EQ(conn.send(three, 3), KoTCPIP::netOk);
    const unsigned char eight[] = {0xC1, 0xF0, 0x40, 0xB9, 0x7F, 0x20, 0x00, 0xFF};
    ASSERT_EQ(send(peer_, reinterpret_cast<const char*>(eight), 8, 0), 8);
    unsigned char in[8];
    uint32_t got = 0, total = 0;
    while (total < 8 && conn.receive(in + total, 8 - total, &got) == KoTCPIP::netOk)
        total += got;
    ASSERT_EQ(total, 8u);
    conn.trace(nullptr, 0, 0);
    const std::string blankLine =
        std::string(24, ' ') + "\t" + std::string(16, ' ') + "\t" + std::string(16, ' ') + "\r\n";
    std::string want = "Sending 3 bytes\r\n"
                       "HEX\t\t\t\tASCII\t\t\tEBCDIC\r\n"
                       "41 81 0A " +
                       std::string(15, ' ') + "\tA . . " + std::string(10, ' ') + "\t. a . " +
                       std::string(10, ' ') + "\r\n\r\n";
    if (got == 8) {
        want += "Reading 8 bytes\r\n"
                "HEX\t\t\t\tASCII\t\t\tEBCDIC\r\n"
                "C1 F0 40 B9 7F 20 00 FF \t. . @ . \x7f   . . \tA 0   ` \" . . . \r\n" +
                blankLine + "\r\n";
    } else {
        GTEST_SKIP() << "the eight bytes came in pieces";
    }
    want += "Sending 0 bytes\r\nHEX\t\t\t\tASCII\t\t\tEBCDIC\r\n" + blankLine + "\r\n";
    EXPECT_EQ(kotest::readFile(name), want);
}

} // namespace
