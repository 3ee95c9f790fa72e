// The untraced roads of the wire transfer against the traced ones, which move every byte through
// memory one buffer at a time: the file's bytes sent straight from the file, both blocks in one
// gathered send, receives that run on from one block into the next. The bytes, the stream's layout
// and the failures must be the same.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "foundation/errors/koerrnum.h"
#include "foundation/storage/blktmpfile.h"
#include "foundation/storage/kotcpip.h"
#include "platform/handle.h"
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

// Reads n bytes (fewer when the peer closes) into out, which is sized beforehand.
void receiveInto(SOCKET s, Bytes* out, size_t n, bool slow = false) {
    size_t got = 0;
    while (got < n) {
        int ask = int(slow ? std::min<size_t>(n - got, 3000) : n - got);
        int r = recv(s, reinterpret_cast<char*>(out->data() + got), ask, 0);
        if (r <= 0) break;
        got += size_t(r);
        if (slow) std::this_thread::sleep_for(std::chrono::microseconds(150));
    }
    out->resize(got);
}

Bytes streamBytes(BlkTmpFile& f) {
    Bytes b(f.getTotalLength());
    EXPECT_EQ(f.read(0, b.data(), uint32_t(b.size())), koSuccess);
    return b;
}

class BlkRoads : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        connectedPair(&mine_, &peer_);
        trace_ = dir_.file("wire.trc");
    }
    void TearDown() override {
        closesocket(mine_);
        if (peer_ != INVALID_SOCKET) closesocket(peer_);
        StorageTest::TearDown();
    }
    const unsigned char* traceName() const { return reinterpret_cast<const unsigned char*>(trace_.c_str()); }
    // Sends [offset, offset + len) of f and returns what the peer got.
    Bytes sendRange(BlkTmpFile& f, KoTCPIP& conn, uint32_t offset, uint32_t len, KoStatus* rc) {
        Bytes got(len);
        std::thread peer([&] { receiveInto(peer_, &got, len); });
        *rc = f.writeToWire(offset, &conn, len);
        peer.join();
        return got;
    }

    kotest::TempDir dir_;
    std::string trace_;
    SOCKET mine_ = INVALID_SOCKET, peer_ = INVALID_SOCKET;
};

TEST_F(BlkRoads, SpilledRangesSentFromTheFileEqualTheStream) {
    std::mt19937 rng(11);
    const uint32_t bs = 1000;
    BlkTmpFile f(bs);
    Bytes data = pattern(23456, 5);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    KoTCPIP direct(mine_), traced(mine_, 0, 0, traceName());
    for (int round = 0; round < 12; ++round) {
        // Newer bytes in the file, the read cache and a pointer the caller writes through.
        const uint32_t at = rng() % (f.getTotalLength() - 8);
        ASSERT_EQ(f.write(at, "OVERWRITE", 8), koSuccess);
        unsigned char probe[3];
        ASSERT_EQ(f.read(rng() % f.getFlushedLength(), probe, 3), koSuccess);
        unsigned char* p;
        uint32_t avail;
        ASSERT_EQ(f.tmpPointer(rng() % f.getFlushedLength(), &p, &avail, uint16_t(round % 2)), koSuccess);
        if (round % 2) memset(p, 'P', std::min<uint32_t>(avail, 5));
        const Bytes want = streamBytes(f);
        const uint32_t offset = round == 0 ? 0 : rng() % f.getTotalLength();
        const uint32_t len = round == 0 ? f.getTotalLength() : rng() % (f.getTotalLength() - offset + 1);
        SCOPED_TRACE(::testing::Message() << "offset " << offset << " length " << len);
        const Bytes oracle(want.begin() + offset, want.begin() + offset + len);
        KoStatus rc;
        EXPECT_TRUE(sendRange(f, direct, offset, len, &rc) == oracle);
        EXPECT_EQ(rc, koSuccess);
        EXPECT_TRUE(sendRange(f, traced, offset, len, &rc) == oracle);
        EXPECT_EQ(rc, koSuccess);
        EXPECT_TRUE(streamBytes(f) == want) << "sending changes nothing";
    }
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(BlkRoads, TheTraceShowsEveryBlockAsABufferOfItsOwn) {
    const uint32_t bs = 100;
    BlkTmpFile f(bs);
    Bytes data = pattern(450, 1);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    ASSERT_EQ(f.getFlushedLength(), 300u);
    KoTCPIP traced(mine_, 0, 0, traceName());
    KoStatus rc;
    EXPECT_TRUE(sendRange(f, traced, 30, 420, &rc) == Bytes(data.begin() + 30, data.end()));
    EXPECT_EQ(rc, koSuccess);
    // File chunks through the read cache, then the older and the current block.
    std::istringstream dump(kotest::readFile(trace_));
    std::vector<std::string> heads;
    for (std::string line; std::getline(dump, line);)
        if (line.rfind("Sending", 0) == 0) heads.push_back(line);
    EXPECT_EQ(heads,
              (std::vector<std::string>{"Sending 100 bytes\r", "Sending 100 bytes\r", "Sending 70 bytes\r",
                                        "Sending 100 bytes\r", "Sending 50 bytes\r"}));
}

TEST_F(BlkRoads, GatheredCallsDumpEachPieceAsABuffer) {
    KoTCPIP traced(mine_, 0, 0, traceName());
    char a[] = "abc", b[] = "defgh";
    const WSABUF out[2] = {{3, a}, {5, b}};
    ASSERT_EQ(traced.sendPieces(out, 2), KoTCPIP::netOk);
    Bytes got(8);
    receiveInto(peer_, &got, 8);
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcdefgh");
    ASSERT_EQ(send(peer_, "123456", 6, 0), 6);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    char x[4], y[4];
    WSABUF in[2] = {{4, x}, {4, y}};
    uint32_t n = 0;
    ASSERT_EQ(traced.receivePieces(in, 2, &n), KoTCPIP::netOk);
    ASSERT_EQ(n, 6u);
    EXPECT_EQ(std::string(x, 4) + std::string(y, 2), "123456");
    std::istringstream dump(kotest::readFile(trace_));
    std::vector<std::string> heads;
    for (std::string line; std::getline(dump, line);)
        if (line.find(" bytes\r") != std::string::npos) heads.push_back(line);
    EXPECT_EQ(heads, (std::vector<std::string>{"Sending 3 bytes\r", "Sending 5 bytes\r", "Reading 4 bytes\r",
                                               "Reading 2 bytes\r"}));
    // A file send needs a socket; nothing to send needs nothing.
    KoTCPIP none(INVALID_SOCKET);
    EXPECT_EQ(none.sendFile(nullptr, 1), KoTCPIP::netLost);
    EXPECT_EQ(lastError(), koErrNetLost);
    EXPECT_EQ(traced.sendFile(nullptr, 0), KoTCPIP::netOk);
}

extern "C" void onRoadSignal(int) {}

TEST_F(BlkRoads, AFileSendCutShortStillDeliversEverything) {
    struct sigaction sa = {}, old = {};
    sa.sa_handler = onRoadSignal; // without SA_RESTART
    sigaction(SIGUSR1, &sa, &old);
    const int small = 4096;
    ASSERT_EQ(setsockopt(mine_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small),
              0);
    BlkTmpFile f(8192);
    Bytes data = pattern(200000, 3);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    KoTCPIP conn(mine_);
    pthread_t sender = pthread_self();
    std::atomic<bool> done{false};
    std::thread pester([&] {
        while (!done) {
            pthread_kill(sender, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(400));
        }
    });
    Bytes got(data.size());
    std::thread peer([&] { receiveInto(peer_, &got, data.size(), true); });
    EXPECT_EQ(f.writeToWire(0, &conn, uint32_t(data.size())), koSuccess);
    done = true;
    pester.join();
    peer.join();
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_TRUE(got == data);
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(BlkRoads, FileSendFailuresAreReportedAsConnectionFailures) {
    BlkTmpFile f(1000);
    Bytes data = pattern(5000, 4);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    KoTCPIP none(INVALID_SOCKET);
    EXPECT_EQ(f.writeToWire(0, &none, 5000), koFailure);
    EXPECT_EQ(lastError(), koErrNetLost);
    EXPECT_TRUE(none.isDown());

    const LINGER reset = {1, 0};
    setsockopt(peer_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
    closesocket(peer_);
    peer_ = INVALID_SOCKET;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    KoTCPIP conn(mine_);
    EXPECT_EQ(f.writeToWire(0, &conn, 5000), koFailure);
    KoError* e = KoErrorKeeper::getLastError();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->number, koErrNetFailed);
    EXPECT_STREQ(reinterpret_cast<const char*>(e->getErrorText()),
                 "The network transfer failed (error 10054).");
    EXPECT_STREQ(reinterpret_cast<const char*>(e->sqlState), "08S01");
    EXPECT_TRUE(streamBytes(f) == data);
}

TEST_F(BlkRoads, ReceivingAcrossBlocksKeepsTheLayoutOfSingleReceives) {
    const struct {
        uint32_t blockSize, before, len;
    } cases[] = {
        {1000, 0, 50000},
        {1000, 0, 60000},
        {1000, 250, 59750},
        {4096, 7, 100001},
        {4096, 0, 4096 * 20},
        {32768, 0, 200000},
        {32768, 100, 32768 * 6 - 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "block " << c.blockSize << " length " << c.len);
        Bytes head = pattern(c.before, 1), data = pattern(c.len, c.len);
        BlkTmpFile single(c.blockSize), across(c.blockSize);
        KoTCPIP traced(mine_, 0, 0, traceName()), direct(mine_);
        for (auto [f, conn] : {std::pair{&single, &traced}, std::pair{&across, &direct}}) {
            if (c.before) {
                ASSERT_EQ(f->append(head.data(), c.before), koSuccess);
            }
            std::thread peer(
                [&] { send(peer_, reinterpret_cast<const char*>(data.data()), int(data.size()), 0); });
            EXPECT_EQ(f->appendFromWire(conn, c.len), koSuccess);
            peer.join();
        }
        EXPECT_EQ(across.getTotalLength(), single.getTotalLength());
        EXPECT_EQ(across.getCurrentLocation(), single.getCurrentLocation());
        EXPECT_EQ(across.getFlushedLength(), single.getFlushedLength());
        EXPECT_EQ(across.getOlderUsed(), single.getOlderUsed());
        EXPECT_EQ(across.getCurrentUsed(), single.getCurrentUsed());
        Bytes want = head;
        want.insert(want.end(), data.begin(), data.end());
        EXPECT_TRUE(streamBytes(across) == want);
        EXPECT_TRUE(streamBytes(single) == want);
    }
}

TEST_F(BlkRoads, AFileThatStopsGrowingFailsTheReceiveAndKeepsWhatArrivedInOrder) {
    // The file system refuses the file beyond a size: the flush after a receive fails.
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit before;
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limited = before;
    limited.rlim_cur = 50000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    Bytes data = pattern(150000, 8);
    for (bool tracing : {false, true}) {
        SCOPED_TRACE(tracing);
        BlkTmpFile f(4096);
        KoTCPIP conn(mine_, 0, 0, tracing ? traceName() : nullptr);
        std::thread peer(
            [&] { send(peer_, reinterpret_cast<const char*>(data.data()), int(data.size()), 0); });
        EXPECT_EQ(f.appendFromWire(&conn, uint32_t(data.size())), koFailure);
        const Bytes kept = streamBytes(f);
        EXPECT_GE(kept.size(), 50000u - 4096u);
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), data.begin())) << "nothing lost before what is kept";
        // Whatever the connection still holds is the rest of the message.
        Bytes rest(data.size() - kept.size());
        receiveInto(mine_, &rest, rest.size());
        peer.join();
        EXPECT_TRUE(std::equal(rest.begin(), rest.end(), data.begin() + kept.size())) << "nothing dropped";
    }
    setrlimit(RLIMIT_FSIZE, &before);
    sigaction(SIGXFSZ, &old, nullptr);
}

TEST_F(BlkRoads, MemoryFailuresOnTheFileRoadLeaveTheStreamWhole) {
    Bytes data = pattern(9000, 6);
    const uint32_t files = koHandleCount(KoHandleKind::file);
    kotest::failOperatorNewToo(true);
    for (unsigned n = 1; n < 200; ++n) {
        SOCKET a, b;
        connectedPair(&a, &b);
        bool hit;
        {
            BlkTmpFile f(1000);
            ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
            KoTCPIP conn(a);
            Bytes got(data.size());
            std::thread peer([&] { receiveInto(b, &got, got.size()); });
            ramFailAt(n);
            const KoStatus rc = f.writeToWire(0, &conn, uint32_t(data.size()));
            hit = ramFailureHit();
            ramFailAt(0);
            closesocket(a);
            peer.join();
            if (rc == koSuccess) {
                EXPECT_TRUE(got == data) << n;
            }
            EXPECT_TRUE(streamBytes(f) == data) << n;
        }
        closesocket(b);
        EXPECT_EQ(koHandleCount(KoHandleKind::file), files) << "no handle outlives the stream's file";
        if (!hit) break;
    }
    kotest::failOperatorNewToo(false);
}

} // namespace
