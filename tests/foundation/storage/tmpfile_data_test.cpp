// The temporary file's bytes: random operations against a byte vector, the limits of the space, the
// spill file's privacy and its failures.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/errors/koerrnum.h"
#include "foundation/storage/kotmpfile.h"
#include "foundation/text/kostring.h"
#include "tests/foundation/os/bostest.h"
#include "tests/foundation/storage/tmpfile_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr unsigned opsPerCache = 25000; // instrumented builds check the same roads, fewer times
#else
constexpr unsigned opsPerCache = 100000;
#endif
constexpr uint32_t MiB = 1024 * 1024;
constexpr uint32_t page = KoTmpFile::pageSize;

// Stretches of the space the random operations work in: the start, both sides of 64 MiB and the top.
struct Window {
    uint32_t start;
    uint32_t size;
};
const Window windows[] = {{0, MiB}, {64 * MiB - MiB / 2, MiB}, {128 * MiB - MiB, MiB}};

// The space as it must read: one byte vector per window, zero where nothing was written.
class Oracle {
public:
    Oracle() : bytes_(std::size(windows) * MiB, 0) {}
    unsigned char* at(uint32_t window, uint32_t pos) { return &bytes_[size_t(window) * MiB + pos]; }
    void clear() { std::fill(bytes_.begin(), bytes_.end(), 0); }

private:
    std::vector<unsigned char> bytes_;
};

class TmpFileData : public BosTest {
protected:
    void SetUp() override {
        BosTest::SetUp();
        // Spill files land in the test's own folder.
        const char* old = getenv("TMPDIR");
        if (old) savedTmp_ = old;
        hadTmp_ = old != nullptr;
        setenv("TMPDIR", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadTmp_)
            setenv("TMPDIR", savedTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        BosTest::TearDown();
    }
    // Names left in the spill folder.
    int filesInTmp() {
        int n = 0;
        unsigned char* cursor = nullptr;
        Path pattern(dir_.path() + "/*");
        while (bosFindFiles(&cursor, pattern) == koSuccess && cursor)
            ++n;
        return n;
    }
    static std::vector<unsigned char> pattern(uint32_t n, uint32_t seed) {
        std::vector<unsigned char> v(n);
        for (uint32_t i = 0; i < n; ++i)
            v[i] = static_cast<unsigned char>(seed * 131 + i * 7 + (i >> 8));
        return v;
    }

private:
    std::string savedTmp_;
    bool hadTmp_ = false;
};

// Runs ops random operations with a fixed seed and compares every byte read with the oracle.
void runAgainstOracle(KoTmpFile& f, unsigned ops, uint32_t seed) {
    std::mt19937 rng(seed);
    Oracle oracle;
    std::vector<unsigned char> buf(200000), noise(1 << 18);
    for (unsigned char& b : noise)
        b = static_cast<unsigned char>(rng());
    auto pick = [&](uint32_t below) { return uint32_t(rng() % below); };
    for (unsigned op = 0; op < ops; ++op) {
        const uint32_t w = pick(std::size(windows));
        // Mostly small pieces near a hot spot, sometimes anything up to several pages or a huge piece.
        const uint32_t kind = pick(1000);
        uint32_t len = kind < 700 ? 1 + pick(300) : kind < 997 ? 1 + pick(3 * page) : 1 + pick(150000);
        if (len > windows[w].size) len = windows[w].size;
        const uint32_t hot = (op / 5000) % 4 * (MiB / 4);
        uint32_t pos = kind < 700 ? hot + pick(24 * page) : pick(windows[w].size - len + 1);
        if (pos + len > windows[w].size) pos = windows[w].size - len;
        const uint32_t offset = windows[w].start + pos;
        const uint32_t action = pick(100);
        if (action < 35) {
            memcpy(buf.data(), &noise[pick(uint32_t(noise.size()) - len)], len);
            const KoStatus st = len > KoTmpFile::hugePiece ? f.writeHuge(offset, buf.data(), len)
                                                           : f.tmpWrite(offset, buf.data(), len);
            ASSERT_EQ(st, koSuccess) << "write at " << offset << " op " << op;
            memcpy(oracle.at(w, pos), buf.data(), len);
        } else if (action < 75) {
            const KoStatus st = len > KoTmpFile::hugePiece ? f.readHuge(offset, buf.data(), len)
                                                           : f.tmpRead(offset, buf.data(), len);
            ASSERT_EQ(st, koSuccess) << "read at " << offset << " op " << op;
            const unsigned char* expect = oracle.at(w, pos);
            if (memcmp(buf.data(), expect, len) != 0) {
                uint32_t i = 0;
                while (buf[i] == expect[i])
                    ++i;
                FAIL() << "op " << op << ": byte at " << offset + i << " is " << int(buf[i]) << ", wrote "
                       << int(expect[i]);
            }
        } else if (action < 97) {
            void* p = nullptr;
            uint16_t avail = 0;
            const bool forWrite = action < 88;
            ASSERT_EQ(f.tmpPointer(offset, &p, &avail, forWrite), koSuccess);
            ASSERT_EQ(avail, page - offset % page);
            const uint32_t n = std::min<uint32_t>(avail, std::min<uint32_t>(len, windows[w].size - pos));
            if (forWrite) {
                for (uint32_t i = 0; i < n; ++i)
                    static_cast<unsigned char*>(p)[i] = oracle.at(w, pos)[i] =
                        static_cast<unsigned char>(rng());
            } else {
                ASSERT_EQ(memcmp(p, oracle.at(w, pos), n), 0) << "pointer at " << offset << " op " << op;
            }
        } else if (action < 99) {
            f.tmpLoseFocus();
        } else if (pick(200) == 0) {
            f.tmpTruncate(pick(2));
            oracle.clear();
        }
    }
}

} // namespace

// Every allowed cache size, with and without locking, over the whole space: no byte ever differs.
TEST_F(TmpFileData, RandomOperationsReadBackWhatWasWritten) {
    struct Case {
        uint16_t cache;
        unsigned noLock;
        unsigned ops;
    } cases[] = {
        {4096, 0, opsPerCache}, {8192, 1, opsPerCache}, {16384, 0, opsPerCache}, {32768, 1, opsPerCache}};
    uint32_t seed = 20240601;
    for (const Case& c : cases) {
        SCOPED_TRACE("cache " + std::to_string(c.cache));
        KoTmpFile f(c.cache, c.noLock);
        runAgainstOracle(f, c.ops, seed++);
        if (HasFatalFailure()) return;
        EXPECT_EQ(errorCount(), 0u);
    }
}

// Sizes between the allowed ones round down; the cache never exceeds 32 KiB.
TEST_F(TmpFileData, CacheSizeIsOneOfTheAllowedOnes) {
    const std::pair<uint16_t, uint16_t> sizes[] = {{0, 4096},      {4095, 4096},  {4096, 4096},
                                                   {8191, 4096},   {8192, 8192},  {20000, 16384},
                                                   {32768, 32768}, {65535, 32768}};
    for (auto [asked, got] : sizes)
        EXPECT_EQ(KoTmpFile(asked).cacheSize, got) << asked;
}

// The top of the space, and what lies beyond it.
TEST_F(TmpFileData, TheSpaceEndsAt128MiB) {
    KoTmpFile f(4096);
    const uint32_t top = KoTmpFile::spaceSize;
    const unsigned char one = 0x5A, two[2] = {1, 2};
    unsigned char back[2] = {};
    void* p = nullptr;
    uint16_t avail = 0;

    EXPECT_EQ(f.tmpWrite(top - 1, &one, 1), koSuccess);
    EXPECT_EQ(f.tmpWrite(top - 1, two, 2), koFailure);
    EXPECT_EQ(lastError(), koErrOutOfRange);
    EXPECT_EQ(f.tmpRead(top - 2, back, 2), koSuccess);
    EXPECT_EQ(back[1], one) << "a refused write copies nothing";
    EXPECT_EQ(f.tmpRead(top, back, 1), koFailure);
    EXPECT_EQ(f.tmpPointer(top, &p, &avail, 0), koFailure);
    ASSERT_EQ(f.tmpPointer(top - 1, &p, &avail, 0), koSuccess);
    EXPECT_EQ(avail, 1);
    EXPECT_EQ(*static_cast<unsigned char*>(p), one);
    // 0xFFFFFFFF bytes from offset 2 would wrap around 32 bits into a tiny range.
    EXPECT_EQ(f.tmpWrite(2, two, 0xFFFFFFFFu), koFailure);
}

// Pages one, two and three times 64 MiB apart share slot bits and would share a 16-bit page number.
TEST_F(TmpFileData, PagesAbove64MiBAreNotConfusedWithLowerOnes) {
    KoTmpFile f(4096);
    const uint32_t offsets[] = {5 * page, 64 * MiB + 5 * page, 32 * MiB + 5 * page, 96 * MiB + 5 * page};
    for (uint32_t i = 0; i < 4; ++i) {
        auto data = pattern(page, i + 1);
        ASSERT_EQ(f.tmpWrite(offsets[i], data.data(), page), koSuccess);
    }
    for (uint32_t i = 4; i-- > 0;) {
        std::vector<unsigned char> back(page);
        ASSERT_EQ(f.tmpRead(offsets[i], back.data(), page), koSuccess);
        EXPECT_EQ(back, pattern(page, i + 1)) << offsets[i];
    }
}

// Bytes reserved but never written read as zero, and reading them never needs a file.
TEST_F(TmpFileData, UnwrittenBytesReadAsZeroWithoutAFile) {
    KoTmpFile f(4096);
    const int before = kotest::openDescriptors();
    std::vector<unsigned char> back(3 * page, 0xEE);
    EXPECT_EQ(f.tmpRead(1, back.data(), 3 * page), koSuccess);
    EXPECT_EQ(back, std::vector<unsigned char>(3 * page, 0));
    uint32_t at = f.getContiguousSpace(100);
    void* p = nullptr;
    uint16_t avail = 0;
    ASSERT_EQ(f.tmpPointer(at, &p, &avail, 0), koSuccess);
    EXPECT_EQ(*static_cast<unsigned char*>(p), 0);
    EXPECT_EQ(kotest::openDescriptors(), before);
    EXPECT_EQ(f.fileHandle, 0);
    EXPECT_EQ(errorCount(), 0u);
}

// The spill file is private, lives in TMPDIR and has no name while it is in use; truncation closes it.
TEST_F(TmpFileData, TheSpillFileIsPrivateAndNameless) {
    const int before = kotest::openDescriptors();
    {
        KoTmpFile f(4096);
        auto data = pattern(8 * page, 3);
        ASSERT_EQ(f.tmpWrite(0, data.data(), 8 * page), koSuccess);
        ASSERT_NE(f.fileHandle, 0) << "three pages do not fit two halves";
        struct stat st;
        ASSERT_EQ(fstat(f.fileHandle - 1, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_nlink, 0u) << "the file has no name left";
        EXPECT_EQ(filesInTmp(), 0);
        char target[512] = {};
        std::string link = "/proc/self/fd/" + std::to_string(f.fileHandle - 1);
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target).rfind(dir_.path() + "/", 0), 0u) << target;

        // After losing focus the pages come back through a new handle.
        f.tmpLoseFocus();
        EXPECT_EQ(f.fileHandle, 0);
        std::vector<unsigned char> back(8 * page);
        ASSERT_EQ(f.tmpRead(0, back.data(), 8 * page), koSuccess);
        EXPECT_EQ(back, data);

        f.tmpTruncate(1);
        EXPECT_EQ(kotest::openDescriptors(), before);
        EXPECT_NE(f.cacheMemory, nullptr);
        EXPECT_EQ(f.end, 1u);
        ASSERT_EQ(f.tmpRead(0, back.data(), 8 * page), koSuccess);
        EXPECT_EQ(back, std::vector<unsigned char>(8 * page, 0)) << "truncation forgets the contents";
        ASSERT_EQ(f.tmpWrite(0, data.data(), 8 * page), koSuccess);
    }
    EXPECT_EQ(kotest::openDescriptors(), before) << "the destructor lets the file go";
    EXPECT_EQ(filesInTmp(), 0);
}

// A page whose write-out fails stays changed in the cache: when the file can grow again nothing is
// lost, and meanwhile reads give the right bytes or an error, never wrong ones.
TEST_F(TmpFileData, AFailedWriteOutLosesNothing) {
    KoTmpFile f(4096);
    std::vector<unsigned char> data = pattern(40 * page, 9), back(40 * page);
    uint32_t written = 0;
    {
        kotest::FileSizeCap cap(6 * page);
        KoStatus st = koSuccess;
        for (; written < 40 && st == koSuccess; ++written)
            st = f.tmpWrite(written * page + 100, &data[written * page], page - 200);
        ASSERT_EQ(st, koFailure) << "the file cannot grow past the cap";
        EXPECT_EQ(lastError(), koErrSystem);
        for (uint32_t i = 0; i + 1 < written; ++i) {
            KoStatus r = f.tmpRead(i * page + 100, &back[0], page - 200);
            if (r == koSuccess) {
                EXPECT_EQ(memcmp(&back[0], &data[i * page], page - 200), 0) << "page " << i;
            }
        }
        clearErrors();
    }
    // Every write that returned success is still there, the cached ones included.
    uint32_t kept = 0;
    for (; kept < 40; ++kept) {
        ASSERT_EQ(f.tmpRead(kept * page + 100, &back[0], page - 200), koSuccess);
        if (memcmp(&back[0], &data[kept * page], page - 200) != 0) break;
    }
    EXPECT_GE(kept, written - 1) << "page " << kept << " was lost";
    for (uint32_t i = 0; i < 40; ++i)
        ASSERT_EQ(f.tmpWrite(i * page + 100, &data[i * page], page - 200), koSuccess) << i;
    for (uint32_t i = 0; i < 40; ++i) {
        ASSERT_EQ(f.tmpRead(i * page + 100, &back[0], page - 200), koSuccess);
        EXPECT_EQ(memcmp(&back[0], &data[i * page], page - 200), 0) << "page " << i;
    }
}

// Creating and reopening the file fail with the file layer's errors; the cache stays consistent and
// works once files can be opened again. A write of a whole page needs no file to load from.
TEST_F(TmpFileData, FileFailuresAreReportedAndRecoverable) {
    KoTmpFile f(4096);
    std::vector<unsigned char> data = pattern(4 * page, 5), back(page);
    {
        kotest::NoMoreDescriptors none;
        ASSERT_EQ(f.tmpWrite(0, data.data(), 2 * page), koSuccess) << "two pages fit the cache";
        EXPECT_EQ(f.tmpWrite(2 * page, &data[2 * page], page), koFailure) << "the third one spills";
        EXPECT_NE(lastError(), 0);
        EXPECT_EQ(f.fileName, nullptr);
        clearErrors();
    }
    ASSERT_EQ(f.tmpWrite(2 * page, &data[2 * page], page), koSuccess);
    // Pages 0 and 1 in the file, 2 and 1 in the cache; make both halves clean, then close the file.
    ASSERT_EQ(f.tmpRead(0, back.data(), page), koSuccess);
    ASSERT_EQ(f.tmpRead(page, back.data(), page), koSuccess);
    f.tmpLoseFocus();
    {
        kotest::NoMoreDescriptors none;
        EXPECT_EQ(f.tmpWrite(3 * page, &data[3 * page], page), koSuccess) << "a whole page is not loaded";
        EXPECT_EQ(f.tmpRead(2 * page, back.data(), page), koFailure) << "page 2 is only in the file";
        EXPECT_EQ(lastError(), koErrFileOpen);
        clearErrors();
    }
    // The page that failed to load first: its half must not have kept another page's bytes.
    for (uint32_t i : {2, 3, 0, 1}) {
        ASSERT_EQ(f.tmpRead(i * page, back.data(), page), koSuccess);
        EXPECT_EQ(memcmp(back.data(), &data[i * page], page), 0) << "page " << i;
    }
}

// Reading into a string makes room for it and sets its length.
TEST_F(TmpFileData, ReadIntoAString) {
    KoTmpFile f;
    const char text[] = "scratch text";
    ASSERT_EQ(f.tmpWrite(3000, text, sizeof text - 1), koSuccess);
    KoString s;
    ASSERT_EQ(s.initialize(reinterpret_cast<const unsigned char*>("old")), koSuccess);
    ASSERT_EQ(f.read(3000, &s, sizeof text - 1), koSuccess);
    EXPECT_EQ(s.length, sizeof text - 1);
    EXPECT_GE(s.capacity, 3 + sizeof text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(s.text), s.length), text);
}

// Every allocation of a spilling write, a read into a string and a region given back fails in turn:
// the operation reports it, nothing written before is lost, and nothing leaks.
TEST_F(TmpFileData, OperationsUnderMemoryFailure) {
    std::vector<unsigned char> data = pattern(6 * page, 7), back(6 * page);
    KoTmpFile* f = nullptr;
    bool firstWritten = false;
    kotest::forEachAllocationFailure(
        [&] {
            f = new KoTmpFile(4096);
            firstWritten = f && f->tmpWrite(0, data.data(), 2 * page) == koSuccess;
            if (firstWritten) f->tmpWrite(2 * page, &data[2 * page], 4 * page);
        },
        [&](unsigned n, bool failed) {
            if (!f) return;
            clearErrors();
            if (firstWritten) {
                ASSERT_EQ(f->tmpRead(0, back.data(), 2 * page), koSuccess) << n;
                EXPECT_EQ(memcmp(back.data(), data.data(), 2 * page), 0) << n;
            }
            ASSERT_EQ(f->tmpWrite(0, data.data(), 6 * page), koSuccess) << n;
            ASSERT_EQ(f->tmpRead(0, back.data(), 6 * page), koSuccess) << n;
            EXPECT_EQ(back, data) << n;
            (void)failed;
            delete f;
            f = nullptr;
        });

    KoTmpFile g;
    ASSERT_EQ(g.tmpWrite(0, data.data(), page), koSuccess);
    kotest::forEachAllocationFailure(
        [&] {
            KoString s;
            if (g.read(10, &s, 100) == koSuccess) {
                EXPECT_EQ(memcmp(s.text, &data[10], 100), 0);
            }
        },
        [](unsigned, bool) {});
}
