// Reads and writes through the paged file cache against the file itself.
#include <cstring>
#include <list>
#include <random>

#include "foundation/errors/koerrnum.h"
#include "tests/foundation/storage/bvm_fixture.h"

namespace {

constexpr uint32_t page = BvmCache::pageSize;

} // namespace

// Random reads and writes over several files, for caches from none at all to roomy ones and with
// both hints: every read returns exactly what the file holds.
TEST_F(BvmTest, ReadsEqualTheFile) {
    const uint16_t chunkCounts[] = {0, 1, 2, 40};
    uint32_t seed = 11;
    for (uint16_t chunks : chunkCounts) {
        SCOPED_TRACE("chunks " + std::to_string(chunks));
        std::string tag = std::to_string(chunks);
        const int files[] = {makeFile("a" + tag, 100000 + 123, 1), makeFile("b" + tag, 5 * page, 2),
                             makeFile("c" + tag, 77, 3)};
        BvmCache* c = bvmInit(chunks);
        ASSERT_NE(c, nullptr);
        std::mt19937 rng(seed++);
        std::vector<unsigned char> buf(40000);
        for (int op = 0; op < 8000; ++op) {
            const int h = files[rng() % 3];
            const uint32_t size = uint32_t(lseek(h - 1, 0, SEEK_END));
            const uint32_t action = rng() % 100;
            const uint32_t offset = rng() % (size + 3 * page);
            const uint32_t len = 1 + (rng() % 4 ? rng() % 600 : rng() % 30000);
            if (action < 70) {
                uint32_t got = 12345;
                VmHintType hint = rng() % 4 ? vmHintNormal : vmHintNoEvict;
                ASSERT_EQ(bvmFileRead(c, h, int32_t(offset), buf.data(), len, &got, hint), koSuccess);
                std::vector<unsigned char> want = pread(h, offset, len);
                ASSERT_EQ(got, want.size()) << "op " << op << " at " << offset << " len " << len;
                ASSERT_EQ(memcmp(buf.data(), want.data(), got), 0) << "op " << op << " at " << offset;
            } else if (action < 98) {
                // Writes stay near the end so files grow and partial pages change.
                const uint32_t at =
                    action < 85 ? offset : size - std::min<uint32_t>(size, rng() % 300) + rng() % 400;
                for (uint32_t i = 0; i < len; ++i)
                    buf[i] = static_cast<unsigned char>(rng());
                ASSERT_EQ(bvmFileWrite(c, h, int32_t(at), buf.data(), std::min(len, 9000u)), koSuccess);
            } else {
                ASSERT_EQ(bvmFlush(c, h), koSuccess);
                EXPECT_TRUE(cachedPages(c, h).empty());
            }
        }
        if (chunks)
            EXPECT_GT(c->hits, 300u);
        else
            EXPECT_EQ(c->hits, 0u);
        bvmTerm(c);
        EXPECT_EQ(errorCount(), 0u);
    }
}

// A write that starts past the bytes a cached end page holds leaves a hole in the file; a read of
// that hole gets the file's zeros, not what the page's memory held before.
TEST_F(BvmTest, AWritePastTheCachedEndLeavesNoStaleBytes) {
    BvmCache* c = bvmInit(1);
    ASSERT_NE(c, nullptr);
    const int other = makeFile("other", 8 * page, 0xAB);
    std::vector<unsigned char> buf(8 * page);
    uint32_t got = 0;
    // Fill every page slot with another file's bytes, then free the slots again.
    ASSERT_EQ(bvmFileRead(c, other, 0, buf.data(), 8 * page, &got, vmHintNormal), koSuccess);
    ASSERT_EQ(bvmFlush(c, other), koSuccess);

    struct Row {
        uint32_t size;  // file size before
        uint32_t write; // where the write starts
        uint32_t len;
    } rows[] = {
        {100, 200, 50}, {100, 100, 50}, {100, 20, 200}, {page + 10, page + 4000, 10}, {8000, 9000, 10}};
    int n = 0;
    for (const Row& r : rows) {
        const int h = makeFile("f" + std::to_string(n++), r.size, 5);
        ASSERT_EQ(bvmFileRead(c, h, 0, buf.data(), r.size, &got, vmHintNormal), koSuccess);
        const unsigned char data[200] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        ASSERT_EQ(bvmFileWrite(c, h, int32_t(r.write), data, r.len), koSuccess);
        const uint32_t total = std::max(r.size, r.write + r.len);
        std::vector<unsigned char> back(total + 10);
        ASSERT_EQ(bvmFileRead(c, h, 0, back.data(), total + 10, &got, vmHintNormal), koSuccess);
        ASSERT_EQ(got, total);
        back.resize(got);
        EXPECT_EQ(back, pread(h, 0, total)) << "write at " << r.write << " over " << r.size << " bytes";
    }
    bvmTerm(c);
}

// The cache evicts the least recently used page however long it runs: a model LRU list and the
// cache agree on the cached pages after each of more than 65,535 uses.
TEST_F(BvmTest, EvictsTheLeastRecentlyUsedPageForever) {
    BvmCache* c = bvmInit(1);
    ASSERT_NE(c, nullptr);
    const int h = makeFile("lru", 20 * page, 9);
    std::list<uint32_t> model; // most recent first
    std::mt19937 rng(5);
    unsigned char b = 0;
    uint32_t got = 0;
    for (int use = 0; use < 140000; ++use) {
        // A skewed choice keeps some pages hot for a long time while others come and go.
        const uint32_t p = rng() % 3 ? rng() % 6 : rng() % 20;
        ASSERT_EQ(bvmFileRead(c, h, int32_t(p * page + p), &b, 1, &got, vmHintNormal), koSuccess);
        ASSERT_EQ(b, pread(h, p * page + p, 1)[0]);
        model.remove(p);
        model.push_front(p);
        if (model.size() > 8) model.pop_back();
        if (use % 7 == 0 || use > 139000) {
            std::set<uint32_t> want(model.begin(), model.end());
            ASSERT_EQ(cachedPages(c, h), want) << "use " << use;
        }
    }
    bvmTerm(c);
}

// With the cache full, the no-evict hint reads past it and keeps every cached page.
TEST_F(BvmTest, TheNoEvictHintKeepsAFullCache) {
    BvmCache* c = bvmInit(1);
    const int h = makeFile("hint", 12 * page, 4);
    std::vector<unsigned char> buf(page);
    uint32_t got = 0;
    for (uint32_t p = 0; p < 8; ++p)
        ASSERT_EQ(bvmFileRead(c, h, int32_t(p * page), buf.data(), 10, &got, vmHintNormal), koSuccess);
    const std::set<uint32_t> full = cachedPages(c, h);
    ASSERT_EQ(full.size(), 8u);
    ASSERT_EQ(bvmFileRead(c, h, int32_t(10 * page + 5), buf.data(), page, &got, vmHintNoEvict), koSuccess);
    EXPECT_EQ(got, page);
    EXPECT_EQ(buf, pread(h, 10 * page + 5, page));
    EXPECT_EQ(cachedPages(c, h), full);
    ASSERT_EQ(bvmFileRead(c, h, int32_t(10 * page), buf.data(), 10, &got, vmHintNormal), koSuccess);
    EXPECT_TRUE(cachedPages(c, h).count(10));
    bvmTerm(c);
}

// Pages of 512 MiB and beyond are never cached; reads across that line still get the file's bytes.
TEST_F(BvmTest, OffsetsBeyondTheCachedRangeGoToTheFile) {
    BvmCache* c = bvmInit(2);
    const int h = makeFile("far", 10, 1);
    const int64_t line = int64_t(BvmCache::cachedPages) * page;
    std::vector<unsigned char> data(3 * page);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 13 + 1);
    ASSERT_EQ(bvmFileWrite(c, h, int32_t(line - page - 100), data.data(), uint32_t(data.size())), koSuccess);
    std::vector<unsigned char> back(3 * page);
    uint32_t got = 0;
    ASSERT_EQ(bvmFileRead(c, h, int32_t(line - page - 100), back.data(), 3 * page, &got, vmHintNormal),
              koSuccess);
    EXPECT_EQ(got, 3 * page);
    EXPECT_EQ(back, data);
    for (uint32_t p : cachedPages(c, h))
        EXPECT_LT(p, BvmCache::cachedPages);
    // Rewritten across the line: the cached page below it sees the change.
    data[50] ^= 0xFF;
    data[page + 150] ^= 0xFF;
    ASSERT_EQ(bvmFileWrite(c, h, int32_t(line - page - 100), data.data(), uint32_t(data.size())), koSuccess);
    ASSERT_EQ(bvmFileRead(c, h, int32_t(line - page - 100), back.data(), 3 * page, &got, vmHintNormal),
              koSuccess);
    EXPECT_EQ(back, data);
    bvmTerm(c);
}

// One cache per task, counted; dropping and closing work per handle.
TEST_F(BvmTest, OneCountedCachePerTask) {
    BvmCache* a = bvmInit(2);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(mdsGetPerTaskData(perTaskFileCache), a);
    BvmCache* b = bvmInit(7);
    EXPECT_EQ(b, a);
    EXPECT_EQ(a->pageLimit, 16u) << "the first call sets the size";
    const int h1 = makeFile("one", 3 * page, 1), h2 = makeFile("two", 3 * page, 2);
    std::vector<unsigned char> buf(3 * page);
    uint32_t got = 0;
    ASSERT_EQ(bvmFileRead(a, h1, 0, buf.data(), 3 * page, &got, vmHintNormal), koSuccess);
    ASSERT_EQ(bvmFileRead(a, h2, 0, buf.data(), 3 * page, &got, vmHintNormal), koSuccess);
    bvmTerm(b);
    EXPECT_EQ(mdsGetPerTaskData(perTaskFileCache), a) << "the cache survives the first bvmTerm";
    EXPECT_EQ(bvmFlush(a, h1), koSuccess);
    EXPECT_TRUE(cachedPages(a, h1).empty());
    EXPECT_EQ(cachedPages(a, h2), (std::set<uint32_t>{0, 1, 2}));
    EXPECT_EQ(bvmFileClose(a, 0), koSuccess);
    EXPECT_EQ(bvmFileClose(a, h2), koSuccess);
    closed(h2);
    EXPECT_TRUE(cachedPages(a, h2).empty());
    bvmTerm(a);
    EXPECT_EQ(mdsGetPerTaskData(perTaskFileCache), nullptr);
}

// A page that cannot be loaded leaves nothing behind for its handle, and the error is the file's.
TEST_F(BvmTest, AFailedLoadLeavesNoPage) {
    BvmCache* c = bvmInit(1);
    const int h = makeFile("gone", 3 * page, 1);
    ASSERT_EQ(bosFileClose(h), koSuccess);
    closed(h);
    std::vector<unsigned char> buf(page);
    uint32_t got = 99;
    EXPECT_EQ(bvmFileRead(c, h, 100, buf.data(), page, &got, vmHintNormal), koFailure);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(lastError(), koErrBadHandle);
    EXPECT_TRUE(cachedPages(c, h).empty());
    EXPECT_EQ(c->freeHead != BvmCache::bvmNone, true) << "the entry went back to the free list";
    bvmTerm(c);
}

// Creating the cache and loading pages under memory failure: no cache or the full one, and reads
// always get the file's bytes.
TEST_F(BvmTest, MemoryFailure) {
    BvmCache* c = nullptr;
    kotest::forEachAllocationFailure([&] { c = bvmInit(4); },
                                     [&](unsigned n, bool failed) {
                                         if (failed) {
                                             EXPECT_EQ(c, nullptr) << n;
                                             EXPECT_EQ(mdsGetPerTaskData(perTaskFileCache), nullptr) << n;
                                         }
                                         bvmTerm(c);
                                     });
    const int h = makeFile("mem", 40 * page + 17, 3);
    std::vector<unsigned char> buf(40 * page + 17);
    uint32_t got = 0;
    KoStatus st = koFailure;
    kotest::forEachAllocationFailure(
        [&] {
            c = bvmInit(3);
            st = bvmFileRead(c, h, 5, buf.data(), 40 * page + 100, &got, vmHintNormal);
        },
        [&](unsigned n, bool) {
            ASSERT_EQ(st, koSuccess) << n;
            ASSERT_EQ(got, 40 * page + 12) << n;
            buf.resize(got);
            EXPECT_EQ(buf, pread(h, 5, got)) << n;
            buf.resize(40 * page + 17);
            bvmTerm(c);
        });
}
