// The untraced roads of the wire transfer (file bytes sent from the file, both blocks in one send,
// receives that run on into the next block) against the traced ones, which move every byte through
// memory one buffer at a time: the same bytes, the same layout, the same failures.
#include <signal.h>
#include <sys/resource.h>

#include <random>
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

// Receives up to n bytes into out (sized beforehand), fewer when the peer closes.
void receiveInto(SOCKET s, Bytes* out, size_t n) {
    size_t got = 0;
    for (int r = 1; got < n && r > 0; got += size_t(r > 0 ? r : 0))
        r = recv(s, reinterpret_cast<char*>(out->data() + got), int(n - got), 0);
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
    }
    void TearDown() override {
        closesocket(mine_);
        closesocket(peer_);
        StorageTest::TearDown();
    }
    const unsigned char* trace() const { return reinterpret_cast<const unsigned char*>(trace_.c_str()); }

    kotest::TempDir dir_;
    std::string trace_ = dir_.file("wire.trc");
    SOCKET mine_ = INVALID_SOCKET, peer_ = INVALID_SOCKET;
};

TEST_F(BlkRoads, SpilledRangesGoOutAlikeOnBothRoads) {
    std::mt19937 rng(11);
    BlkTmpFile f(1000);
    Bytes data = pattern(23456, 5);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    KoTCPIP direct(mine_), traced(mine_, 0, 0, trace());
    for (int round = 0; round < 10; ++round) {
        // Newer bytes in the file, the read cache and a pointer the caller writes through.
        ASSERT_EQ(f.write(rng() % 23000, "OVERWRITE", 9), koSuccess);
        unsigned char probe[3], *p;
        uint32_t avail;
        ASSERT_EQ(f.read(rng() % f.getFlushedLength(), probe, 3), koSuccess);
        ASSERT_EQ(f.tmpPointer(rng() % f.getFlushedLength(), &p, &avail, uint16_t(round % 2)), koSuccess);
        if (round % 2) memset(p, 'P', std::min<uint32_t>(avail, 5));
        const Bytes want = streamBytes(f);
        const uint32_t offset = round ? rng() % f.getTotalLength() : 0;
        const uint32_t len = round ? rng() % (f.getTotalLength() - offset + 1) : f.getTotalLength();
        for (KoTCPIP* conn : {&direct, &traced}) {
            Bytes got(len);
            std::thread peer([&] { receiveInto(peer_, &got, len); });
            EXPECT_EQ(f.writeToWire(offset, conn, len), koSuccess);
            peer.join();
            EXPECT_TRUE(got == Bytes(want.begin() + offset, want.begin() + offset + len))
                << offset << " " << len;
        }
    }
    EXPECT_EQ(errorCount(), 0u);
    // A peer that reset the connection: the file send fails as a connection failure.
    const LINGER reset = {1, 0};
    setsockopt(peer_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
    closesocket(peer_);
    peer_ = INVALID_SOCKET;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(f.writeToWire(0, &direct, 5000), koFailure);
    EXPECT_EQ(lastError(), koErrNetFailed);
}

TEST_F(BlkRoads, ReceivesAcrossBlocksKeepTheLayoutAndTheBytesOfSingleReceives) {
    // Block size, bytes in the stream before, bytes received, a file size limit (0: none).
    const struct {
        uint32_t blockSize, before, len, fileLimit;
    } cases[] = {{1000, 0, 50000, 0},     {1000, 250, 59750, 0},   {4096, 7, 100001, 0},
                 {4096, 0, 4096 * 20, 0}, {32768, 100, 196508, 0}, {4096, 0, 150000, 50000}};
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit unlimited;
    getrlimit(RLIMIT_FSIZE, &unlimited);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "block " << c.blockSize << " length " << c.len);
        Bytes want = pattern(c.before + c.len, c.len);
        BlkTmpFile single(c.blockSize), across(c.blockSize);
        KoTCPIP traced(mine_, 0, 0, trace()), direct(mine_);
        for (auto [f, conn] : {std::pair{&single, &traced}, std::pair{&across, &direct}}) {
            ASSERT_EQ(f->append(want.data(), c.before), koSuccess);
            rlimit limit = {c.fileLimit ? c.fileLimit : unlimited.rlim_cur, unlimited.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::thread peer(
                [&] { send(peer_, reinterpret_cast<const char*>(&want[c.before]), int(c.len), 0); });
            EXPECT_EQ(f->appendFromWire(conn, c.len), c.fileLimit ? koFailure : koSuccess);
            // A failed flush keeps every byte received, in order; the rest is still on the wire.
            Bytes kept = streamBytes(*f), rest(want.size() - kept.size());
            receiveInto(mine_, &rest, rest.size());
            peer.join();
            setrlimit(RLIMIT_FSIZE, &unlimited);
            kept.insert(kept.end(), rest.begin(), rest.end());
            EXPECT_TRUE(kept == want);
        }
        if (c.fileLimit) continue;
        EXPECT_EQ(across.getCurrentLocation(), single.getCurrentLocation());
        EXPECT_EQ(across.getFlushedLength(), single.getFlushedLength());
        EXPECT_EQ(across.getOlderUsed(), single.getOlderUsed());
        EXPECT_EQ(across.getCurrentUsed(), single.getCurrentUsed());
    }
    sigaction(SIGXFSZ, &old, nullptr);
}

TEST_F(BlkRoads, MemoryFailuresOnTheFileRoadLeaveTheStreamWhole) {
    Bytes data = pattern(9000, 6);
    const uint32_t files = koHandleCount(KoHandleKind::file);
    kotest::failOperatorNewToo(true);
    for (unsigned n = 1, hit = 1; hit && n < 100; ++n) {
        SOCKET a, b;
        connectedPair(&a, &b);
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
            EXPECT_TRUE(rc == koFailure || got == data) << n;
            EXPECT_TRUE(streamBytes(f) == data) << n;
        }
        closesocket(b);
        EXPECT_EQ(koHandleCount(KoHandleKind::file), files) << "no handle outlives the stream's file";
    }
    kotest::failOperatorNewToo(false);
}

} // namespace
