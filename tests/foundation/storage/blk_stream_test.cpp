// The block temporary file as a byte stream: layout, integers, an oracle walk over random operations,
// coherence of file-resident bytes, the private spill file and the memory-failure roads.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "foundation/errors/koerrnum.h"
#include "foundation/storage/blktmpfile.h"
#include "tests/foundation/storage/blk_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes pattern(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(seed * 31 + i * 7 + (i >> 8));
    return b;
}

Bytes readAll(BlkTmpFile& f) {
    Bytes b(f.getTotalLength());
    EXPECT_EQ(f.read(0, b.data(), uint32_t(b.size())), koSuccess);
    return b;
}

// Points TMPDIR at a private folder for the object's lifetime.
class PrivateTmp {
public:
    PrivateTmp() {
        const char* old = getenv("TMPDIR");
        if (old) old_ = old, hadOld_ = true;
        setenv("TMPDIR", dir_.path().c_str(), 1);
    }
    ~PrivateTmp() {
        if (hadOld_)
            setenv("TMPDIR", old_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    const std::string& path() const { return dir_.path(); }
    size_t files() const {
        size_t n = 0;
        for (auto& e : std::filesystem::directory_iterator(dir_.path())) {
            (void)e;
            ++n;
        }
        return n;
    }

private:
    kotest::TempDir dir_;
    std::string old_;
    bool hadOld_ = false;
};

class BlkStream : public StorageTest {};

TEST_F(BlkStream, AppendsFillBlocksThenTheFile) {
    const struct {
        uint32_t blockSize, appended, inFile, inOlder, inCurrent;
    } rows[] = {
        {16, 0, 0, 0, 0},    {16, 16, 0, 0, 16},  {16, 17, 0, 16, 1},   {16, 32, 0, 16, 16},
        {16, 33, 16, 16, 1}, {16, 40, 16, 16, 8}, {16, 100, 80, 16, 4}, {1000, 2500, 1000, 1000, 500},
    };
    for (const auto& r : rows) {
        BlkTmpFile f(r.blockSize);
        ASSERT_EQ(f.initialize(), koSuccess);
        Bytes data = pattern(r.appended, r.blockSize);
        // In uneven pieces, so that pieces straddle block ends.
        for (uint32_t at = 0; at < r.appended;) {
            uint32_t n = std::min<uint32_t>(r.appended - at, 1 + at % 7);
            ASSERT_EQ(f.append(data.data() + at, n), koSuccess);
            at += n;
        }
        SCOPED_TRACE(testing::Message() << "block " << r.blockSize << ", appended " << r.appended);
        EXPECT_EQ(f.getFlushedLength(), r.inFile);
        EXPECT_EQ(f.getOlderUsed(), r.inOlder);
        EXPECT_EQ(f.getCurrentUsed(), r.inCurrent);
        EXPECT_EQ(f.getTotalLength(), r.appended);
        EXPECT_EQ(f.getCurrentLocation(), r.appended);
        EXPECT_EQ(readAll(f), data);
        unsigned char x;
        EXPECT_EQ(f.read(r.appended + 1, &x, 0), koFailure) << "an offset beyond the end";
        EXPECT_EQ(f.read(r.appended, &x, 1), koFailure) << "a read past the end";
    }
}

TEST_F(BlkStream, IntegersAreBigEndianAndAdvanceByTheirSize) {
    BlkTmpFile f(5); // every integer wider than a byte crosses a block end somewhere
    ASSERT_EQ(f.initialize(), koSuccess);
    ASSERT_EQ(f.appendInt8(0xAB), koSuccess);
    ASSERT_EQ(f.appendInt32(0x01020304u), koSuccess);
    uint32_t before = f.getCurrentLocation();
    ASSERT_EQ(f.appendInt16(0xCAFE), koSuccess);
    EXPECT_EQ(f.getCurrentLocation(), before + 2);
    ASSERT_EQ(f.appendInt64(0x1122334455667788ull), koSuccess);
    const Bytes want = {0xAB, 1, 2, 3, 4, 0xCA, 0xFE, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    EXPECT_EQ(readAll(f), want);
    EXPECT_EQ(f.getCurrentLocation(), want.size());

    f.setCurrentLocation(1);
    unsigned char four[4];
    ASSERT_EQ(f.readCurLoc(four, 4), koSuccess);
    EXPECT_EQ(Bytes(four, four + 4), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(f.getCurrentLocation(), 5u);
    EXPECT_EQ(f.readCurLoc(four, 11), koFailure);
    EXPECT_EQ(f.getCurrentLocation(), 5u) << "a failed read does not move";
}

// Random appends, overwrites, reads, pointers and copies against a byte vector. Pointer changes are
// applied to the oracle at once, since reads must see them.
TEST_F(BlkStream, RandomOperationsMatchAByteVector) {
    PrivateTmp tmp;
    for (uint32_t blockSize : {7u, 64u, 1000u}) {
        std::mt19937 rng(blockSize);
        auto pick = [&](uint32_t n) { return n ? uint32_t(rng() % n) : 0u; };
        BlkTmpFile f(blockSize), other(blockSize / 2 + 1);
        ASSERT_EQ(f.initialize(), koSuccess);
        Bytes oracle;
        Bytes otherData = pattern(blockSize * 5, 99);
        ASSERT_EQ(other.append(otherData.data(), uint32_t(otherData.size())), koSuccess);
        for (int step = 0; step < 3000; ++step) {
            SCOPED_TRACE(testing::Message() << "block " << blockSize << " step " << step);
            const uint32_t size = uint32_t(oracle.size());
            switch (pick(8)) {
            case 0:
            case 1: {
                Bytes b = pattern(pick(blockSize * 3 + 2), step);
                ASSERT_EQ(f.append(b.data(), uint32_t(b.size())), koSuccess);
                oracle.insert(oracle.end(), b.begin(), b.end());
                break;
            }
            case 2: {
                uint32_t at = pick(size + 1);
                Bytes b = pattern(pick(blockSize * 2 + 2), step + 7);
                ASSERT_EQ(f.write(at, b.data(), uint32_t(b.size())), koSuccess);
                if (oracle.size() < at + b.size()) oracle.resize(at + b.size());
                std::copy(b.begin(), b.end(), oracle.begin() + at);
                break;
            }
            case 3:
            case 4: {
                uint32_t at = pick(size + 1), n = pick(size - at + 1);
                Bytes got(n);
                ASSERT_EQ(f.read(at, got.data(), n), koSuccess);
                ASSERT_TRUE(std::equal(got.begin(), got.end(), oracle.begin() + at));
                break;
            }
            case 5: {
                if (!size) break;
                uint32_t at = pick(size);
                unsigned char* p;
                uint32_t avail;
                const uint16_t forWrite = uint16_t(pick(2));
                ASSERT_EQ(f.tmpPointer(at, &p, &avail, forWrite), koSuccess);
                ASSERT_GE(avail, 1u);
                ASSERT_LE(at + avail, size);
                ASSERT_TRUE(std::equal(p, p + avail, oracle.begin() + at));
                if (forWrite)
                    for (uint32_t i = 0; i < avail; i += 3)
                        oracle[at + i] = p[i] = uint8_t(p[i] ^ 0x5A);
                break;
            }
            case 6: {
                uint32_t at = pick(size + 1), n = pick(std::min<uint32_t>(size - at, blockSize * 3) + 1);
                Bytes src(oracle.begin() + at, oracle.begin() + at + n);
                ASSERT_EQ(f.copy(at, &f, n), koSuccess);
                oracle.insert(oracle.end(), src.begin(), src.end());
                break;
            }
            case 7: {
                uint32_t at = pick(uint32_t(otherData.size()) + 1),
                         n = pick(uint32_t(otherData.size()) - at + 1);
                ASSERT_EQ(f.copy(at, &other, n), koSuccess);
                oracle.insert(oracle.end(), otherData.begin() + at, otherData.begin() + at + n);
                break;
            }
            }
            ASSERT_EQ(f.getTotalLength(), oracle.size());
            if (oracle.size() > 40u * blockSize && pick(4) == 0) {
                f.clear();
                oracle.clear();
            }
        }
        EXPECT_EQ(readAll(f), oracle);
    }
    EXPECT_EQ(tmp.files(), 0u) << "every spill file is gone with its stream";
}

// Stale copies of file-resident bytes must never win over newer bytes.
TEST_F(BlkStream, FileResidentBytesStayCoherent) {
    const uint32_t bs = 32;
    BlkTmpFile f(bs);
    Bytes data = pattern(bs * 6, 1);
    ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
    ASSERT_GT(f.getFlushedLength(), 3 * bs);
    unsigned char buf[8];

    // A read fills the read cache; an overwrite of those bytes must show in the next read.
    ASSERT_EQ(f.read(10, buf, 4), koSuccess);
    ASSERT_EQ(f.write(10, "WXYZ", 4), koSuccess);
    ASSERT_EQ(f.read(8, buf, 8), koSuccess);
    EXPECT_EQ(memcmp(buf + 2, "WXYZ", 4), 0);

    // A read overlapping a live write pointer sees the caller's changes.
    unsigned char* p;
    uint32_t avail;
    ASSERT_EQ(f.tmpPointer(40, &p, &avail, 1), koSuccess);
    memcpy(p, "ptr!", 4);
    ASSERT_EQ(f.read(38, buf, 8), koSuccess);
    EXPECT_EQ(memcmp(buf + 2, "ptr!", 4), 0);

    // An overwrite while the pointer lives is not undone by the pointer's write-back.
    ASSERT_EQ(f.write(41, "new", 3), koSuccess);
    ASSERT_EQ(f.tmpPointer(5, &p, &avail, 0), koSuccess); // writes the pointer buffer back
    ASSERT_EQ(f.read(40, buf, 4), koSuccess);
    EXPECT_EQ(memcmp(buf, "pnew", 4), 0);

    // A buffer written back once is never written back again over a later write, even when the
    // next pointer (into a block) is taken for writing.
    ASSERT_EQ(f.tmpPointer(70, &p, &avail, 1), koSuccess);
    memcpy(p, "AAAA", 4);
    ASSERT_EQ(f.tmpPointer(f.getTotalLength() - 1, &p, &avail, 1), koSuccess);
    ASSERT_EQ(f.write(70, "BBBB", 4), koSuccess);
    ASSERT_EQ(f.tmpPointer(0, &p, &avail, 0), koSuccess);
    ASSERT_EQ(f.read(70, buf, 4), koSuccess);
    EXPECT_EQ(memcmp(buf, "BBBB", 4), 0);
}

TEST_F(BlkStream, SpillFileIsPrivateAndAlwaysRemoved) {
    PrivateTmp tmp;
    std::string name;
    {
        BlkTmpFile f(64);
        Bytes data = pattern(64 * 3, 2);
        ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
        name = reinterpret_cast<const char*>(f.getFileName());
        ASSERT_EQ(name.rfind(tmp.path() + "/", 0), 0u) << name;
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        f.clear(); // the file stays for reuse
        EXPECT_EQ(stat(name.c_str(), &st), 0);
        ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
        EXPECT_EQ(readAll(f), data);
    }
    EXPECT_EQ(tmp.files(), 0u);

    // A temporary folder that cannot be written: the append fails at its first flush and keeps
    // what it appended before; nothing is left behind.
    setenv("TMPDIR", (tmp.path() + "/missing").c_str(), 1);
    {
        BlkTmpFile f(16);
        Bytes data = pattern(40, 3);
        EXPECT_EQ(f.append(data.data(), 40), koFailure);
        EXPECT_NE(lastError(), 0);
        EXPECT_EQ(f.getTotalLength(), 16u) << "the current block was full before the flush was needed";
        Bytes back(16);
        EXPECT_EQ(f.read(0, back.data(), 16), koSuccess);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
    }
    EXPECT_EQ(tmp.files(), 0u);
}

TEST_F(BlkStream, MemoryFailuresLeaveAUsableStream) {
    PrivateTmp tmp;
    const uint32_t bs = 24;
    Bytes data = pattern(bs * 5, 4);
    // Appending into a new stream: blocks, then the file name, then the file.
    kotest::forEachAllocationFailure(
        [&] {
            BlkTmpFile f(bs);
            KoStatus rc = f.append(data.data(), uint32_t(data.size()));
            Bytes back(f.getTotalLength());
            ASSERT_EQ(f.read(0, back.data(), uint32_t(back.size())), koSuccess);
            EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
            if (rc == koSuccess) {
                EXPECT_EQ(back, data);
            }
        },
        [&](unsigned, bool) { EXPECT_EQ(tmp.files(), 0u); });

    // Reads through the read cache, pointers through the pointer buffer, copies through both: the
    // n-th allocation after the stream was built fails.
    for (unsigned n = 1; n < 100; ++n) {
        BlkTmpFile f(bs), g(bs);
        ASSERT_EQ(f.append(data.data(), uint32_t(data.size())), koSuccess);
        unsigned char buf[4];
        unsigned char* p = nullptr;
        uint32_t avail = 0;
        ramFailAt(n);
        KoStatus r1 = f.read(3, buf, 4);
        KoStatus r2 = f.tmpPointer(30, &p, &avail, 1);
        const unsigned char pointed = r2 == koSuccess ? *p : 0; // the pointer lives until the next call
        KoStatus r3 = g.copy(0, &f, uint32_t(data.size()));
        const bool failed = ramFailureHit();
        ramFailAt(0);
        SCOPED_TRACE(n);
        if (r1 == koSuccess) {
            EXPECT_EQ(memcmp(buf, data.data() + 3, 4), 0);
        }
        if (r2 == koSuccess) {
            EXPECT_EQ(pointed, data[30]);
        }
        // Whatever failed, the stream is whole and the copy holds a correct prefix.
        EXPECT_EQ(readAll(f), data);
        Bytes copied = readAll(g);
        EXPECT_TRUE(std::equal(copied.begin(), copied.end(), data.begin()));
        if (!failed) {
            EXPECT_EQ(r1 | r2 | r3, koSuccess);
            EXPECT_EQ(copied, data);
            break;
        }
    }
}

} // namespace
